// The settings library: number reading and comma lists, the systems' lists
// and frames, the configuration file's bytes read and written, and the file
// loaded and saved.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "settings/catalogue.h"
#include "settings/file_text.h"
#include "settings/instance_lock.h"
#include "settings/regular_file.h"
#include "settings/text.h"
#include "tests/settings/config_file.h"

#ifdef _WIN32
#include "platform/win32.h"

#include <thread>
#endif

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

// Both windows draw their system frames from one table: every system has
// one box, in the frame of its own group, and the frames' captions are the
// groups' in the windows' order.
TEST(Catalogue, EachSystemStandsInOneFrameOfItsGroup) {
    std::array<int, kSystemCount> boxes{};
    std::vector<std::string_view> captions;
    for (const SystemFrame& frame : kSystemFrames) {
        captions.push_back(GroupCaption(frame.group));
        for (const int id : frame.systems) {
            ASSERT_TRUE(id >= 0 && id < kSystemCount) << id;
            ++boxes[id];
            EXPECT_EQ(Catalogue()[id].group, frame.group) << Catalogue()[id].caption;
        }
    }
    for (int id = 0; id < kSystemCount; ++id) {
        EXPECT_EQ(boxes[id], 1) << Catalogue()[id].caption;
    }
    EXPECT_EQ(captions, (std::vector<std::string_view>{"Instruments", "Engines", "Systems",
                                                       "Radios", "Fuel Leak", "Miscellaneous"}));
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

// The limit per flight: the last line of [General] when it is not 0, read
// there only, and only as a whole number from 0 to 999.
TEST(WriteCFG, MaxFailuresStandsInGeneralOnlyWhenSet) {
    Settings settings = FirstStartSettings();
    std::string file = WriteCFG(settings);
    settings.maxFailures = 7;
    file.insert(file.find("\r\n\r\n[Failures]") + 2, "MaxFailures=7\r\n");
    EXPECT_EQ(WriteCFG(settings), file);
    const std::pair<const char*, int> cases[] = {{"[General]|MaxFailures=7", 7},
                                                 {"[General]|MaxFailures= 999 ", 999},
                                                 {"MaxFailures=7", 0},
                                                 {"[Sounds]|MaxFailures=7", 0},
                                                 {"[General]|[Systems]|MaxFailures=7", 0},
                                                 {"[General]|MaxFailures=1000", 0},
                                                 {"[General]|MaxFailures=-1", 0},
                                                 {"[General]|MaxFailures=2.5", 0},
                                                 {"[General]|MaxFailures=7x", 0},
                                                 {"[general]|MaxFailures=7", 0}};
    for (auto [text, limit] : cases) {
        std::string lines = text;
        std::replace(lines.begin(), lines.end(), '|', '\n');
        Settings back;
        ApplyConfig(back, lines);
        EXPECT_EQ(back.maxFailures, limit) << text;
    }
}

// Loading gives the bytes as they are; a save replaces the whole file, even a
// read-only one, which stays read-only, and leaves no temporary file. A folder where the file
// should be can be neither read nor replaced: both say why, and the folder stays.
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
    fs::permissions(file_, fs::perms::owner_read);
    EXPECT_EQ(SaveConfigFile(file_.string(), "new"), "");
    EXPECT_EQ(Bytes(file_), "new");
    EXPECT_EQ(Names(), 1);
    // The new file keeps the old one's permissions (read-only stays so).
    EXPECT_EQ(fs::status(file_).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::permissions(file_, fs::perms::owner_all);
    fs::remove(file_);
    fs::create_directories(file_ / "inside");
    const LoadResult folder = LoadConfigFile(file_.string());
    EXPECT_EQ(folder.status, LoadResult::Status::Unreadable);
    EXPECT_EQ(ReadErrorMessage(folder.error), "Could not read skyfault.cfg: " + folder.error);
    const std::string reason = SaveConfigFile(file_.string(), "Rate=5\r\n");
    EXPECT_EQ(SaveErrorMessage(reason), "Could not save skyfault.cfg: " + reason);
    EXPECT_FALSE(reason.empty() || folder.error.empty());
    const std::string missing =
        SaveConfigFile((folder_ / "missing" / "skyfault.cfg").string(), "x");
    // The system's reason first, where the box shows it; then the step.
    EXPECT_FALSE(missing.starts_with("cannot")) << missing;
    EXPECT_NE(missing.find(" (cannot create a new file beside \""), std::string::npos) << missing;
    EXPECT_EQ(Names(), 2);  // the folder and what it holds
}

// A file saved with a byte-order mark (Notepad's "Unicode" is UTF-16 LE) is
// read as text; lines, keys and values come out as 8-bit text.
TEST_F(ConfigFile, AFileWithAByteOrderMarkIsReadAsText) {
    const std::string text = "[General]\r\nRate=5\r\nActivated=0\r\n";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (const char c : text) {
        little += {c, '\0'};
        big += {'\0', c};
    }
    for (const std::string& bytes : {little, big, "\xEF\xBB\xBF" + text, text}) {
        Put(file_, bytes);
        EXPECT_EQ(LoadConfigFile(file_.string()).bytes, text);
    }
    EXPECT_EQ(TextOfFile("\xFF\xFE"
                         "A\0=\0\x3D\xD8\x00\xDE"
                         "B"s),
              NarrowText(u"A=\U0001F600"));
    EXPECT_EQ(TextOfFile("\xEF\xBB\xBF"
                         "a\xC3\xA9\xF0\x9F\x98\x80\xFF"
                         "b"),
              NarrowText(u"a\u00E9\U0001F600\uFFFDb"));
    EXPECT_EQ(TextOfFile("\xFF"), "\xFF");  // no mark: the bytes as they are
}

// A save asked to keep the old file keeps it beside the new one, under a
// name not yet taken; the temporary files of saves killed before their
// rename go with the next save, those of a live process stay.
TEST_F(ConfigFile, ASaveKeepsTheOldFileWhenAskedAndRemovesWhatKilledSavesLeft) {
    std::string kept = "x";
    EXPECT_EQ(SaveConfigFile(file_.string(), "first", &kept), "");
    EXPECT_EQ(kept, "");  // there was no old file
    for (const char* name : {"skyfault.cfg.unread", "skyfault.cfg.unread2"}) {
        const std::string before = Bytes(file_);
        EXPECT_EQ(SaveConfigFile(file_.string(), "new " + before, &kept), "");
        EXPECT_EQ(fs::path(kept).filename(), name);
        EXPECT_EQ(Bytes(kept), before);
    }
    EXPECT_EQ(Bytes(file_), "new new first");
    EXPECT_EQ(Names(), 3);
    const std::string stale = file_.string() + ".tmp2147483644-7";  // no process has that id
    const std::string live = file_.string() + ".tmp" + std::to_string(CurrentProcessId()) + "-7";
    Put(stale, "half");
    Put(live, "half");
    EXPECT_EQ(SaveConfigFile(file_.string(), "last"), "");
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(Names(), 4);
}

// What the dialogs accept is cut to what the file keeps, never inside a
// UTF-8 character; the dialogs' test reads the longest entries back whole.
TEST(Bounds, ATextIsCutNeverInsideACharacter) {
    std::string text = "ab\xC3\xA9\xE2\x82\xAC";
    for (const auto& [bytes, cut] : std::vector<std::pair<std::size_t, std::string>>{
             {9, text}, {7, text}, {6, "ab\xC3\xA9"}, {4, "ab\xC3\xA9"}, {3, "ab"}, {0, ""}}) {
        std::string t = text;
        EXPECT_EQ(CutToBytes(t, bytes), bytes < text.size()) << bytes;
        EXPECT_EQ(t, cut) << bytes;
    }
}

// One program per session: while the lock is held, another one of the same
// name is refused at once, and may knock; it is free again once let go. On POSIX systems
// the session is $XDG_RUNTIME_DIR: another folder, another session.
TEST_F(ConfigFile, ASecondProgramFindsTheLockTaken) {
    const std::string name = "skyfault-test-" + std::to_string(std::random_device{}());
    SetRuntimeFolder(folder_);
    {
        const InstanceLock first(name);
        EXPECT_FALSE(first.heldElsewhere());
        EXPECT_TRUE(InstanceLock(name).heldElsewhere());
        EXPECT_FALSE(InstanceLock(name + "-other").heldElsewhere());
#ifndef _WIN32
        // A refused program knocks: the holder sees the lock file change.
        const fs::path knock = first.knockPath();
        fs::last_write_time(knock, fs::file_time_type());
        InstanceLock(name).Knock();
        EXPECT_NE(fs::last_write_time(knock), fs::file_time_type());
        SetRuntimeFolder(folder_ / "another");
        fs::create_directory(folder_ / "another");
        EXPECT_FALSE(InstanceLock(name).heldElsewhere());
        SetRuntimeFolder(folder_);
#endif
    }
    EXPECT_FALSE(InstanceLock(name).heldElsewhere());
}

#ifdef _WIN32
// A file another program holds without sharing (a virus scanner, a sync
// tool) is tried again: read once it is let go, unreadable after the wait.
// A save waits a moment for a reader that does not share the file; one that
// holds on refuses it, and the file stays as it was.
TEST_F(ConfigFile, AFileHeldByAnotherProgramIsTriedAgain) {
    Put(file_, "Rate=5\r\n");
    const std::pair<DWORD, int> holds[] = {
        {0, 100}, {0, 1500}, {FILE_SHARE_READ, 300}, {FILE_SHARE_READ, 3000}};
    for (const auto& [share, heldMs] : holds) {
        const HANDLE held = CreateFileW(file_.wstring().c_str(), GENERIC_READ, share, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread release([&] {
            Sleep(static_cast<DWORD>(heldMs));
            CloseHandle(held);
        });
        const bool letGo = heldMs < 1000;
        if (share == 0) {
            const LoadResult result =
                LoadConfigFile(file_.string(), std::chrono::milliseconds(1000));
            release.join();
            EXPECT_EQ(result.status,
                      letGo ? LoadResult::Status::Loaded : LoadResult::Status::Unreadable);
            EXPECT_EQ(result.bytes, letGo ? "Rate=5\r\n" : "");
        } else {
            const std::string reason = SaveConfigFile(file_.string(), std::to_string(heldMs));
            release.join();
            EXPECT_EQ(reason.empty(), letGo) << reason;
            EXPECT_EQ(Bytes(file_), "300");  // the first saved, the second not
        }
    }
    EXPECT_EQ(Names(), 1);
}
#endif

}  // namespace
}  // namespace skyfault
