// Reading, applying and writing the configuration file's bytes.
#include "settings/config.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace skyfault {
namespace {

using namespace std::string_literals;
using K = EntryKind;

// Each line gives one entry; its text is the value after the first "=".
TEST(ReadCFG, EachKeyReadsItsValue) {
    auto expect = [](const std::string& line, K kind, int index, int number, int periodMs = 0,
                     bool on = false) {
        const ConfigEntry entry{kind, index, line.substr(line.find('=') + 1), number, periodMs, on};
        EXPECT_EQ(ReadCFG(line), std::vector{entry}) << line;
    };
    for (const char* line : {"Rate=500", "Rate= 12abc", "Rate=1e400", "Rate=1=2"}) {
        expect(line, K::Rate, -1, 0);
    }
    const std::pair<const char*, int> periods[] = {
        {"30", 30000},  {"1.5", 1500},   {"0.001", 1},  {"65.535", 65535},
        {"0.0625", 62}, {"0.1875", 188}, {"60s", 60000}};
    for (const auto& [value, ms] : periods) {
        expect("Frequency="s + value, K::Frequency, -1, 0, ms);
    }
    for (const auto& [value, on] : {std::pair{"0", 0}, {"7", 1}, {"0.25", 1}, {" 0x", 0}}) {
        expect("Activated="s + value, K::Activated, -1, on);
    }
    // A greyed box (2) is on; the box shows the rounded value, "on" follows the value.
    const std::tuple<const char*, int, bool> boxes[] = {
        {"0", 0, false}, {"1", 1, true}, {"2", 2, true}, {"1.5", 2, true}, {"0.5", 0, true}};
    for (const auto& [value, box, on] : boxes) {
        expect("AudioNotification="s + value, K::AudioNotification, -1, box, 0, on);
        expect("VisualNotification="s + value, K::VisualNotification, -1, box, 0, on);
    }
    const std::tuple<const char*, int, int> speeds[] = {
        {"0", 0, 7000}, {"1", 1, 4000}, {"2", 2, 1000}, {"abc", 0, 7000}};
    for (const auto& [value, speed, ms] : speeds) {
        expect("FuelLeakSpeed="s + value, K::FuelLeakSpeed, -1, speed, ms);
    }
    expect("PauseWithSim=2", K::PauseWithSim, -1, 2);
    const std::tuple<const char*, int, int> allowed[] = {{"ADF=0", 0, 0},
                                                         {"Flaps=2", 24, 2},
                                                         {"VerticalSpeedIndicator=1", 15, 1},
                                                         {"COMradio=1", 4, 1},
                                                         {"Engine3=abc", 18, 0}};
    for (const auto& [line, id, box] : allowed) {
        expect(line, K::Allowed, id, box);
    }
    const std::tuple<const char*, EntryKind, int> texts[] = {
        {"DefaultSound=", K::DefaultSound, -1},
        {"DefaultSound=C:\\Sounds\\alarm=loud.wav", K::DefaultSound, -1},
        {"ADFStr=", K::SystemStr, 0},
        {"ADFStr=1000,0,=,100", K::SystemStr, 0},
        {"Engine3Str=1,2", K::SystemStr, 18},
        {"VerticalSpeedIndicatorStr=x", K::SystemStr, 15},
        {"SoundFile3==x=", K::SoundFile, 3}};
    for (const auto& [line, kind, index] : texts) {
        expect(line, kind, index, 0);
    }
    // A sound slot is the value of the rest of the key, rounded.
    const std::pair<const char*, int> slots[] = {{"0", 0},    {"50", 50},   {"07", 7},  {" 7", 7},
                                                 {"+7 ", 7},  {"0.7e1", 7}, {"6.5", 6}, {"7.5", 8},
                                                 {"-0.4", 0}, {"50.5", 50}};
    for (const auto& [rest, slot] : slots) {
        expect("SoundFile"s + rest + "=z", K::SoundFile, slot, 0);
    }
}

// Unknown or miswritten keys (exact, case-sensitive), values a key cannot use
// (a rate without a finite reciprocal, periods outside 1..65535 ms, boxes
// outside 0..2, sound slots outside 0..50) and lines over 32 KiB: no entry.
TEST(ReadCFG, RefusesLinesItCannotUse) {
    const std::string lines =
        "Rate=0|Rate=|Rate=abc|Rate=1e-320|rate=500|Rate =500| Rate=500|Vertical Speed Indicator=0|"
        "ADFstr=x|Frequency=0|Frequency=0.0004|Frequency=65.536|Frequency=-1|Frequency=1e300|"
        "Activated=|Activated=yes|AudioNotification=3|VisualNotification=2.6|"
        "AudioNotification=-1|AudioNotification=on|FuelLeakSpeed=3|FuelLeakSpeed=2.6|"
        "PauseWithSim=3|PauseWithSim=x|ADF=3|ADF=-1|Engine 3=0|junk|[General]|=7||SoundFile=z|"
        "SoundFile51=z|SoundFile-1=z|SoundFile50.6=z|SoundFileX=z|SoundFile 1e400=z|"
        "SoundFile99999999999999999999=z|Engine 3Str=1|Str=1|Engine5Str=1|Engine3STR=1|"
        "RateStr=1|ADFStrStr=1|Default\0Sound=x|Frequency=1"s +
        std::string(kMaxConfigLineBytes - 10, ' ');
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = lines.find('|', at);
        const std::string line = lines.substr(at, end - at);
        EXPECT_TRUE(ReadCFG(line).empty()) << line.substr(0, 80);
    }
}

TEST(ReadCFG, LineEndsOrderAndLength) {
    const std::string longValue(kMaxConfigLineBytes - 7, 'v');  // a line of 32 KiB
    const std::string file = "[Systems]\r\nRate=5\r\nFrequency=6\rDefaultSound=\xE9\0s\n"s +
                             "ADFStr=" + longValue + "\r\r\nFlapsStr=" + longValue + "v\nRate=7";
    EXPECT_EQ(ReadCFG(file), (std::vector<ConfigEntry>{
                                 {K::Rate, -1, "5"},
                                 {K::Frequency, -1, "6", 0, 6000},
                                 {K::DefaultSound, -1, "\xE9\0s"s},
                                 {K::SystemStr, 0, longValue},
                                 {K::Rate, -1, "7"},
                             }));
    EXPECT_EQ(ReadCFG("DefaultSound=x\r"), (std::vector<ConfigEntry>{{K::DefaultSound, -1, "x"}}));
}

// Every sound slot starts as "Undefined"; a later line wins and an unusable
// value keeps the earlier one; nothing else is reset.
TEST(ApplyConfig, AppliesEntriesInFileOrder) {
    Settings settings;
    settings.systemStr[2] = "kept";
    settings.soundFiles[4] = "old.wav";
    ApplyConfig(settings,
                "Rate=5\nRate=7\nRate=0\nFrequency=30\nFrequency=0\nActivated=0\nFuelLeakSpeed=2\n"
                "AudioNotification=2\nVisualNotification=1\nVisualNotification=0.3\n"
                "VisualNotification=9\nPauseWithSim=2\nCenterTank=0\nLeftTank=2\nLeftTank=5\n"
                "DefaultSound=a\nADFStr=1\nADFStr=2\nSoundFile3=x\nSoundFile3=y\n");
    EXPECT_EQ(settings.rateDenominator, "7");
    EXPECT_EQ(settings.checkInterval, "30");
    EXPECT_FALSE(settings.activated);
    EXPECT_EQ(std::tuple(settings.fuelLeakSpeed, settings.fuelLeakOption), std::tuple(2, 2));
    EXPECT_EQ(std::tuple(settings.audioBox, settings.audioNotify), std::tuple(2, true));
    EXPECT_EQ(std::tuple(settings.textBox, settings.visualNotify), std::tuple(0, true));
    EXPECT_EQ(settings.pauseWithSim, 2);
    EXPECT_EQ(std::tuple(settings.allowed[23], settings.allowed[21], settings.allowed[22]),
              std::tuple(0, 2, 1));
    EXPECT_EQ(settings.defaultSound, "a");
    EXPECT_EQ(std::tuple(settings.systemStr[0], settings.systemStr[2]), std::tuple("2", "kept"));
    EXPECT_EQ(std::tuple(settings.soundFiles[3], settings.soundFiles[4]),
              std::tuple("y", "Undefined"));
}

// The whole file, CR LF, byte for byte; a line break inside a value is left
// out, so that it cannot start a line of its own.
TEST(WriteCFG, WritesTheWholeFile) {
    Settings settings = FirstStartSettings();
    settings.rateDenominator = " 500";
    settings.checkInterval = "1.5";
    settings.activated = false;
    settings.audioNotify = true;
    settings.textBox = 1;  // the written value follows visualNotify, not the box
    settings.fuelLeakSpeed = 2;
    settings.pauseWithSim = 2;
    settings.allowed[0] = 0;
    settings.allowed[15] = 2;
    settings.defaultSound = "C:\\d\r\nRate=1.wav";
    settings.soundFiles[3] = settings.defaultSound;  // the default: not written
    settings.soundFiles[24] = "";
    settings.soundFiles[50] = "g.wav";
    settings.systemStr[18] = "42,1,2\n,C";
    settings.systemStr[24] = "";

    std::string expected =
        "[General]\r\nRate= 500\r\nFrequency=1.5\r\nActivated=0\r\nAudioNotification=1\r\n"
        "VisualNotification=0\r\nFuelLeakSpeed=2\r\nPauseWithSim=2\r\n\r\n[Failures]\r\n";
    std::string systems = "\r\n[Systems]\r\n";
    std::istringstream keys(
        "ADF AirspeedIndicator Altimeter AttitudeIndicator COMradio Compass Electrics "
        "EngineGauge FuelIndicators HeadingIndicator NAVradios Pitot Transponder TurnCoordinator "
        "Vacuum VerticalSpeedIndicator Engine1 Engine2 Engine3 Engine4 LandingGear LeftTank "
        "RightTank CenterTank Flaps");
    std::string key;
    for (int id = 0; keys >> key; ++id) {
        expected += key + "=" + (id == 0 ? "0" : id == 15 ? "2" : "1") + "\r\n";
        const char* list = id == 18   ? "42,1,2,C"
                           : id == 24 ? ""
                                      : "1000,0,999,-50,100,-999,99999,D";
        systems += key + "Str=" + list + "\r\n";
    }
    expected +=
        "\r\n[Sounds]\r\nDefaultSound=C:\\dRate=1.wav\r\nSoundFile24=\r\n"
        "SoundFile50=g.wav\r\n" +
        systems;
    EXPECT_EQ(WriteCFG(settings), expected);
}

// A written file reads back to the same model (a sound equal to the default
// as none), over any model, and is written again to the same bytes.
TEST(WriteCFG, RoundTrip) {
    std::mt19937 random(20240611u);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto text = [&](int length) {  // any bytes but line breaks
        static const std::string alphabet = "aZ09 ,.-\\:/\t\"'[]*?=\xE9\xFF\x01"s + '\0';
        std::string out;
        for (length = pick(0, length); length > 0; --length) {
            out.push_back(
                alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))]);
        }
        return out;
    };
    const auto number = [&](const char* before, int high, const char* after) {
        return before + std::to_string(pick(1, high)) + after;
    };
    auto model = [&] {
        Settings s;
        s.rateDenominator = number(pick(0, 1) ? " " : "", 65000, pick(0, 1) ? "" : ".5abc");
        s.checkInterval = number(pick(0, 1) ? " " : "", 64, pick(0, 1) ? "" : ".5s");
        s.activated = pick(0, 1) == 1;
        s.audioNotify = pick(0, 1) == 1;
        s.audioBox = s.audioNotify ? 1 : 0;
        s.visualNotify = pick(0, 1) == 1;
        s.textBox = s.visualNotify ? 1 : 0;
        s.fuelLeakSpeed = s.fuelLeakOption = pick(0, 2);
        s.pauseWithSim = pick(0, 2);
        s.defaultSound = text(30);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const int kind = pick(0, 3);
            s.soundFiles[slot] = kind == 0 ? "Undefined" : kind == 1 ? s.defaultSound : text(40);
            if (slot < kSystemCount) {
                s.allowed[slot] = pick(0, 2);
                s.systemStr[slot] = pick(0, 1) ? DefaultSystemList(s.rateDenominator) : text(60);
            }
        }
        return s;
    };
    for (int run = 0; run < 300; ++run) {
        const Settings written = model();
        const std::string file = WriteCFG(written);
        Settings back = model();
        ApplyConfig(back, file);
        Settings expected = written;
        for (auto& sound : expected.soundFiles) {
            sound = sound == written.defaultSound ? "Undefined" : sound;
        }
        const auto fields = [](const Settings& s) {
            return std::tie(s.rateDenominator, s.checkInterval, s.activated, s.audioNotify,
                            s.audioBox, s.visualNotify, s.textBox, s.fuelLeakSpeed,
                            s.fuelLeakOption, s.pauseWithSim, s.defaultSound, s.allowed,
                            s.systemStr, s.soundFiles);
        };
        ASSERT_TRUE(fields(back) == fields(expected)) << "run " << run;
        ASSERT_EQ(WriteCFG(back), file) << "run " << run;
    }
}

}  // namespace
}  // namespace skyfault
