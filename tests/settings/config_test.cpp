// The configuration file: its bytes read, applied and written, and the file
// loaded and saved.
#include <random>
#include <sstream>
#include <tuple>
#include <vector>

#include "tests/settings/config_file.h"

namespace skyfault {
namespace {

using K = EntryKind;

// Each line gives one entry; its text is the value after the first "=".
TEST(ReadCFG, EachKeyReadsItsValue) {
    auto expect = [](const std::string& line, K kind, int index, int number, int periodMs = 0,
                     bool on = false) {
        const ConfigEntry entry{kind, index, line.substr(line.find('=') + 1), number, periodMs, on};
        EXPECT_EQ(ReadCFG(line), std::vector{entry}) << line;
    };
    expect("Rate= 500", K::Rate, -1, 0);
    expect("Activated=0", K::Activated, -1, 0);
    expect("Activated=0.25", K::Activated, -1, 1);
    expect("PauseWithSim=2", K::PauseWithSim, -1, 2);
    expect("ADF=0", K::Allowed, 0, 0);
    expect("VerticalSpeedIndicator=1", K::Allowed, 15, 1);
    expect("Flaps=2", K::Allowed, 24, 2);
    expect("DefaultSound=C:\\a=b.wav", K::DefaultSound, -1, 0);
    expect("VerticalSpeedIndicatorStr=1,=", K::SystemStr, 15, 0);
    expect("FlapsStr=", K::SystemStr, 24, 0);
    expect("SoundFile3==x=", K::SoundFile, 3, 0);
    // Milliseconds, rounded half to even.
    const std::pair<const char*, int> periods[] = {
        {"1.5", 1500}, {"0.001", 1}, {"65.535", 65535}, {"0.0625", 62}, {"0.1875", 188}};
    for (const auto& [value, ms] : periods) {
        expect("Frequency="s + value, K::Frequency, -1, 0, ms);
    }
    for (const auto& [speed, ms] : {std::pair{0, 7000}, {1, 4000}, {2, 1000}}) {
        expect("FuelLeakSpeed=" + std::to_string(speed), K::FuelLeakSpeed, -1, speed, ms);
    }
    // The box shows the rounded value (2: greyed); "on" follows the value.
    const std::tuple<const char*, int, bool> boxes[] = {
        {"0", 0, false}, {"2", 2, true}, {"1.5", 2, true}, {"0.5", 0, true}};
    for (const auto& [value, box, on] : boxes) {
        expect("AudioNotification="s + value, K::AudioNotification, -1, box, 0, on);
        expect("VisualNotification="s + value, K::VisualNotification, -1, box, 0, on);
    }
    // A sound slot is the value of the rest of the key, rounded.
    const std::pair<const char*, int> slots[] = {{"0", 0},   {"50", 50},   {" 07", 7},
                                                 {"+7 ", 7}, {"0.7e1", 7}, {"6.5", 6},
                                                 {"7.5", 8}, {"-0.4", 0},  {"50.5", 50}};
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

// Lines end in CR LF, LF or CR; bytes are kept; a line of 32 KiB is read.
TEST(ReadCFG, LineEndsOrderAndLength) {
    const std::string longValue(kMaxConfigLineBytes - 7, 'v');
    const std::string file = "[Systems]\r\nRate=5\r\nFrequency=6\rDefaultSound=\xE9\0s\n"s +
                             "ADFStr=" + longValue + "\r\r\nFlapsStr=" + longValue + "v\nRate=7\r";
    EXPECT_EQ(ReadCFG(file), (std::vector<ConfigEntry>{{K::Rate, -1, "5"},
                                                       {K::Frequency, -1, "6", 0, 6000},
                                                       {K::DefaultSound, -1, "\xE9\0s"s},
                                                       {K::SystemStr, 0, longValue},
                                                       {K::Rate, -1, "7"}}));
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
        systems += key + "Str=1000,0,999,-50,100,-999,99999,D\r\n";
    }
    expected += "\r\n[Sounds]\r\nDefaultSound=C:\\dRate=1.wav\r\nSoundFile24=\r\n";
    EXPECT_EQ(WriteCFG(settings), expected + "SoundFile50=g.wav\r\n" + systems);
}

// A written file read over any model gives back the one written (a sound
// equal to the default as none), and is written again to the same bytes.
TEST(WriteCFG, RoundTrip) {
    std::mt19937 random(20240611u);
    auto pick = [&](int high) { return std::uniform_int_distribution<int>(0, high)(random); };
    auto text = [&](int length) {  // any bytes but line breaks
        const std::string alphabet = "aZ09 ,.-\\:/\t\"'[]*?=\xE9\xFF\x01"s + '\0';
        std::string out;
        for (length = pick(length); length > 0; --length) {
            out += alphabet[static_cast<std::size_t>(pick(static_cast<int>(alphabet.size()) - 1))];
        }
        return out;
    };
    auto number = [&](int high, const char* tail) {
        return (pick(1) ? " " : "") + std::to_string(1 + pick(high - 1)) + (pick(1) ? "" : tail);
    };
    auto model = [&] {
        Settings s;
        s.rateDenominator = number(65000, ".5x");
        s.checkInterval = number(64, ".5s");
        s.activated = pick(1);
        s.audioBox = s.audioNotify = pick(1);
        s.textBox = s.visualNotify = pick(1);
        s.fuelLeakSpeed = s.fuelLeakOption = pick(2);
        s.pauseWithSim = pick(2);
        s.defaultSound = text(30);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const int kind = pick(3);
            s.soundFiles[slot] = kind == 0 ? "Undefined" : kind == 1 ? s.defaultSound : text(40);
            if (slot < kSystemCount) {
                s.allowed[slot] = pick(2);
                s.systemStr[slot] = pick(1) ? DefaultSystemList(s.rateDenominator) : text(60);
            }
        }
        return s;
    };
    const auto fields = [](const Settings& s) {
        return std::tie(s.rateDenominator, s.checkInterval, s.activated, s.audioNotify, s.audioBox,
                        s.visualNotify, s.textBox, s.fuelLeakSpeed, s.fuelLeakOption,
                        s.pauseWithSim, s.defaultSound, s.allowed, s.systemStr, s.soundFiles);
    };
    for (int run = 0; run < 300; ++run) {
        Settings written = model();
        const std::string file = WriteCFG(written);
        Settings back = model();
        ApplyConfig(back, file);
        for (auto& sound : written.soundFiles) {
            sound = sound == written.defaultSound ? "Undefined" : sound;
        }
        ASSERT_TRUE(fields(back) == fields(written)) << "run " << run;
        ASSERT_EQ(WriteCFG(back), file) << "run " << run;
    }
}

TEST_F(ConfigFile, LoadsTheBytesAsTheyAreOrSaysWhyNot) {
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Missing);
    EXPECT_EQ(LoadConfigFile((file_ / "x").string()).status, LoadResult::Status::Missing);
    Put(file_, "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s);
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Loaded);
    EXPECT_EQ(Bytes(file_), "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s);
    fs::remove(file_);
    fs::create_directory(file_);
    const LoadResult result = LoadConfigFile(file_.string());
    EXPECT_EQ(result.status, LoadResult::Status::Unreadable);
    EXPECT_EQ(ReadErrorMessage(result.error), "Could not read skyfault.cfg: " + result.error);
    EXPECT_NE(result.error, "");
}

// A save replaces the whole file, even a read-only one; a failed save leaves
// what stood there as it was. Neither leaves a temporary file.
TEST_F(ConfigFile, SaveReplacesTheWholeFileOrLeavesItAlone) {
    EXPECT_EQ(SaveConfigFile(file_.string(), "Rate=5\r\n"), "");
    EXPECT_EQ(Bytes(file_), "Rate=5\r\n");
    Put(file_, std::string(10000, 'x'));
    fs::permissions(file_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_EQ(Bytes(file_), "new");
    EXPECT_EQ(Names(), 1);
    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    const std::string reason = SaveConfigFile(file_.string(), "Rate=5\r\n");
    EXPECT_EQ(SaveErrorMessage(reason), "Could not save skyfault.cfg: " + reason);
    EXPECT_NE(reason, "");
    EXPECT_NE(SaveConfigFile((folder_ / "missing" / "skyfault.cfg").string(), "x"), "");
    EXPECT_EQ(Names(), 2);  // the folder and what it holds
}

}  // namespace
}  // namespace skyfault
