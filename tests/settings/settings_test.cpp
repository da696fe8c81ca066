// The settings library: number reading and comma lists, the systems' lists,
// the configuration file's bytes read and written, and the file loaded and
// saved.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "settings/file_text.h"
#include "settings/text.h"
#include "tests/settings/config_file.h"

namespace skyfault {
namespace {

using K = EntryKind;

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Text, Numbers) {
    const std::pair<const char*, double> cases[] = {
        {"12abc", 12},  {"", 0},        {" 1 000", 1000}, {"\t-\t1\n2", -12},
        {"1\r2", 1},    {".5", 0.5},    {"1.2.3", 1.2},   {"1,5", 1},
        {"1E-2", 0.01}, {"2e+2x", 200}, {"1e-400", 0},    {"0e99999", 0}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(TextValue(text), value) << text;
    }
    EXPECT_EQ(std::min(TextValue("1e99999999999999999999"), TextValue(std::string(400, '9'))),
              kInf);
    EXPECT_EQ(TextValue("1" + std::string(1 << 20, '0') + "e-1048576"), 1);
    // Whole-number reading: blanks around, nothing after, finite.
    EXPECT_EQ(StrictNumber(" -2.5e1\t"), -25.0);
    for (const char* text : {"", " ", "12abc", "1 000", "1e", "1.2.3", "1e400", "inf", "0x10"}) {
        EXPECT_FALSE(StrictNumber(text)) << text;
    }
    // Halves round to the even neighbour, as the standard library does.
    for (const double value : {0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 2.5001, 0x1p52 + 1, kInf}) {
        EXPECT_EQ(RoundHalfEven(value), std::nearbyint(value)) << value;
    }
}

// Fields count from 1 and keep their blanks; a list has at most ten.
TEST(Text, GetField) {
    const char* full = "1000,0,999,-50,100,-999,99999,D";
    const char* eleven = "1,2,3,4,5,6,7,8,9,10,11";
    const std::tuple<const char*, int, const char*> cases[] = {
        {full, 1, "1000"},     {full, 8, "D"},     {full, 9, ""},    {"a,,b", 2, ""},
        {" a , b ", 2, " b "}, {eleven, 10, "10"}, {eleven, 11, ""}, {"a,b", 0, ""}};
    for (const auto& [list, field, expected] : cases) {
        EXPECT_EQ(GetField(list, field), expected) << list << " #" << field;
    }
}

// 1/N positional, without a leading "0", cut (not rounded) to ten characters.
TEST(Text, FormatProbability) {
    const std::pair<const char*, const char*> cases[] = {
        {"3", " .33333333"},   {"1", " 1"},           {"65000", " .00001538"},
        {" 500", " .002"},     {"0.3", " 3.3333333"}, {"-3", "-.33333333"},
        {"1e9", " .00000000"}, {"1e300", " 0"},       {"1e-20", " 100000000"}};
    for (const auto& [rate, shown] : cases) {
        EXPECT_EQ(FormatProbability(rate), shown) << rate;
    }
    EXPECT_EQ(FormatProbability("0") + FormatProbability("abc") + FormatProbability("1e-320"), "");
}

// A new default rate goes only to the systems' lists marked exactly "D",
// rebuilt with eight fields.
TEST(Model, ApplyDefaultRateToSystems) {
    Settings settings;
    settings.systemStr = {"1,2,3,4,5,6,7,D,9,10", "7,,,,,,,d", "7,D", "1,2,3,4,5,6,7,C"};
    settings.systemStr[24] = settings.systemStr[30] = "1,,,,,,,D";
    auto expected = settings.systemStr;
    expected[0] = "500,2,3,4,5,6,7,D";
    expected[24] = "500,,,,,,,D";
    settings.ApplyDefaultRateToSystems("500");
    EXPECT_EQ(settings.systemStr, expected);
}

// What the written file cannot show: lenient values, periods, boxes and sound
// slots. An entry's text is the value after the first "=".
TEST(ReadCFG, EachKeyReadsItsValue) {
    auto expect = [](const std::string& line, K kind, int index, int number, int periodMs = 0,
                     bool on = false) {
        const ConfigEntry entry{kind, index, line.substr(line.find('=') + 1), number, periodMs, on};
        EXPECT_EQ(ReadCFG(line), std::vector{entry}) << line;
    };
    expect("Activated=0.25", K::Activated, -1, 1);
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
    const std::pair<const char*, int> slots[] = {{"0", 0},   {"50", 50}, {" 07", 7},  {"0.7e1", 7},
                                                 {"6.5", 6}, {"7.5", 8}, {"50.5", 50}};
    for (const auto& [rest, slot] : slots) {
        expect("SoundFile"s + rest + "=z", K::SoundFile, slot, 0);
    }
}

// Unknown or miswritten keys (exact, case-sensitive), values a key cannot use
// (a rate without a finite reciprocal, periods outside 1..65535 ms, boxes
// outside 0..2, sound slots outside 0..50) and lines over 32 KiB: no entry.
TEST(ReadCFG, RefusesLinesItCannotUse) {
    const std::string lines =
        "Rate=0|Rate=|Rate=1e-320|rate=500|Rate =500| Rate=500|Vertical Speed Indicator=0|ADFstr=x|"
        "Frequency=0.0004|Frequency=65.536|Activated=|Activated=yes|AudioNotification=3|"
        "VisualNotification=2.6|AudioNotification=-1|FuelLeakSpeed=3|FuelLeakSpeed=2.6|"
        "PauseWithSim=3|ADF=3|ADF=-1|Engine 3=0|[General]|=7||SoundFile=z|SoundFile51=z|"
        "SoundFile-1=z|SoundFile50.6=z|SoundFile 1e400=z|SoundFile99999999999999999999=z|"
        "Engine 3Str=1|Str=1|Engine3STR=1|ADFStrStr=1|Default\0Sound=x|Frequency=1"s +
        std::string(kMaxConfigLineBytes - 10, ' ');
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line, '|');) {
        EXPECT_TRUE(ReadCFG(line).empty()) << line.substr(0, 80);
    }
}

// The whole file, CR LF, byte for byte, read (its lines ending in CR LF, LF
// or CR) over another model as the one written (a sound equal to the default
// as none), and written again to the same bytes. Each system and slot has a value of its own;
// values hold any byte but line breaks, which are left out so that none starts a line.
TEST(WriteCFG, WritesTheWholeFileAndReadsItBack) {
    Settings settings = FirstStartSettings();
    settings.rateDenominator = " 500";
    settings.checkInterval = "\t1.5s";
    settings.activated = false;
    settings.audioNotify = true;  // and visualNotify false, its box checked
    settings.fuelLeakSpeed = settings.fuelLeakOption = settings.pauseWithSim = 2;
    settings.defaultSound = "C:\\d\r\nRate=1 \"\xE9\xFF'\0.wav"s;
    std::string expected =
        "[General]\r\nRate= 500\r\nFrequency=\t1.5s\r\nActivated=0\r\nAudioNotification=1\r\n"
        "VisualNotification=0\r\nFuelLeakSpeed=2\r\nPauseWithSim=2\r\n\r\n[Failures]\r\n";
    std::string sounds = "\r\n[Sounds]\r\nDefaultSound=C:\\dRate=1 \"\xE9\xFF'\0.wav\r\n"s;
    std::string systems = "\r\n[Systems]\r\n";
    std::istringstream keys(
        "ADF AirspeedIndicator Altimeter AttitudeIndicator COMradio Compass Electrics "
        "EngineGauge FuelIndicators HeadingIndicator NAVradios Pitot Transponder TurnCoordinator "
        "Vacuum VerticalSpeedIndicator Engine1 Engine2 Engine3 Engine4 LandingGear LeftTank "
        "RightTank CenterTank Flaps");
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::string text = slot == 1 ? std::string(kMaxConfigLineBytes - 21, 'v')  // 32 KiB
                                           : "\t" + std::to_string(slot) + "=,\0 "s;
        const std::string choices[] = {settings.defaultSound, text, "Undefined", ""};
        settings.soundFiles[slot] = choices[slot % 4];
        if (slot % 2 == 1) {
            sounds += "SoundFile" + std::to_string(slot) + "=" + choices[slot % 4] + "\r\n";
        }
        if (std::string key; keys >> key) {
            settings.allowed[slot] = slot % 3;
            expected += key + "=" + std::to_string(slot % 3) + "\r\n";
            settings.systemStr[slot] =
                slot % 2 ? text : settings.systemStr[slot];  // or first start
            systems +=
                key + "Str=" + (slot % 2 ? text : "1000,0,999,-50,100,-999,99999,D") + "\r\n";
        }
    }
    const std::string file = WriteCFG(settings);
    EXPECT_EQ(file, expected + sounds + systems);
    Settings back;
    back.audioBox = 0;
    back.visualNotify = true;
    back.soundFiles.fill("other");
    std::string mixed;  // the lines ending in CR LF, LF or CR
    for (std::size_t at = 0, end = 0, n = 0; (end = file.find("\r\n", at)) != file.npos;
         at = end + 2) {
        mixed += file.substr(at, end - at) + std::array{"\r\n", "\n", "\r"}[n++ % 3];
    }
    ApplyConfig(back, mixed);
    for (auto& sound : settings.soundFiles) {
        sound = sound == settings.defaultSound ? "Undefined" : sound;
    }
    settings.defaultSound = "C:\\dRate=1 \"\xE9\xFF'\0.wav"s;
    settings.textBox = 0;
    const auto fields = [](const Settings& s) {
        return std::tie(s.rateDenominator, s.checkInterval, s.activated, s.audioNotify, s.audioBox,
                        s.visualNotify, s.textBox, s.fuelLeakSpeed, s.fuelLeakOption,
                        s.pauseWithSim, s.defaultSound, s.allowed, s.systemStr, s.soundFiles);
    };
    EXPECT_TRUE(fields(back) == fields(settings));
    EXPECT_EQ(WriteCFG(back), file);
}

// Loading gives the bytes as they are; a save replaces the whole file, even a
// read-only one, and leaves no temporary file. A folder where the file should
// be can be neither read nor replaced: both say why, and the folder stays.
TEST_F(ConfigFile, LoadsAndSavesTheWholeFileOrSaysWhyNot) {
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Missing);
    EXPECT_EQ(SaveConfigFile(file_.string(), "Rate=5\r\n"), "");
    EXPECT_EQ(Bytes(file_), "Rate=5\r\n");
    Put(file_, "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s);
    EXPECT_EQ(LoadConfigFile(file_.string()).status, LoadResult::Status::Loaded);
    EXPECT_EQ(Bytes(file_), "Rate=5\r\nDefaultSound=\xE9\0x\r\nlast"s);
    // The file's 8-bit text comes back from UTF-8 as it was; a text fits the
    // file exactly when it survives the trip (Cyrillic does not on a Western
    // Windows, where the window test sees it refused).
    EXPECT_EQ(Utf8ToFileText(FileTextToUtf8(Bytes(file_))), Bytes(file_));
    for (const std::string text :
         {"C:\\Sons\\alarme_\u00e9.wav", "C:\\\u0417\u0432\u0443\u043a\\a.wav", "\xE9 not UTF-8",
          "plain.wav"}) {
        EXPECT_EQ(FitsFileText(text), FileTextToUtf8(Utf8ToFileText(text)) == text) << text;
    }
    EXPECT_TRUE(FitsFileText("plain.wav"));
    fs::permissions(file_, fs::perms::owner_read);
    EXPECT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_EQ(Bytes(file_), "new");
    EXPECT_EQ(Names(), 1);
    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    const LoadResult folder = LoadConfigFile(file_.string());
    EXPECT_EQ(folder.status, LoadResult::Status::Unreadable);
    EXPECT_EQ(ReadErrorMessage(folder.error), "Could not read skyfault.cfg: " + folder.error);
    const std::string reason = SaveConfigFile(file_.string(), "Rate=5\r\n");
    EXPECT_EQ(SaveErrorMessage(reason), "Could not save skyfault.cfg: " + reason);
    EXPECT_FALSE(reason.empty() || folder.error.empty());
    EXPECT_NE(SaveConfigFile((folder_ / "missing" / "skyfault.cfg").string(), "x"), "");
    EXPECT_EQ(Names(), 2);  // the folder and what it holds
}

}  // namespace
}  // namespace skyfault
