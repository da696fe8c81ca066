#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/config.h"

namespace skyfault {
namespace {

using namespace std::string_literals;

ConfigEntry Entry(EntryKind kind, std::string text, int number = 0, int periodMs = 0,
                  int index = -1) {
    return ConfigEntry{kind, index, std::move(text), number, periodMs};
}

std::vector<ConfigEntry> Only(ConfigEntry entry) {
    return {std::move(entry)};
}

// The settings after reading `bytes` into a fresh model.
Settings Applied(const std::string& bytes) {
    Settings settings;
    ApplyConfig(settings, bytes);
    return settings;
}

TEST(ReadCFG, Rate) {
    EXPECT_EQ(ReadCFG("Rate=500"), Only(Entry(EntryKind::Rate, "500")));
    EXPECT_EQ(ReadCFG("Rate= 500"), Only(Entry(EntryKind::Rate, " 500")));
    EXPECT_EQ(ReadCFG("Rate=12abc"), Only(Entry(EntryKind::Rate, "12abc")));
    EXPECT_EQ(ReadCFG("Rate=-4"), Only(Entry(EntryKind::Rate, "-4")));
    EXPECT_EQ(ReadCFG("Rate=1e400"), Only(Entry(EntryKind::Rate, "1e400")));  // 1/N is 0
}

// Lines that are not applied: unknown or miswritten keys (keys are exact
// and case-sensitive; SoundFile takes a number 0..50), values a key cannot
// use (a rate without a finite reciprocal, periods outside 1..65535 ms, no
// leading number, boxes outside 0..2), and lines over 32 KiB.
TEST(ReadCFG, RefusesLinesItCannotUse) {
    // One line per '|'.
    const std::string lines =
        "Rate=0|Rate=|Rate=abc|Rate=1e-320|Rate=1e-400|rate=500|Rate =500| Rate=500|"
        "RATE=500|adf=1|Vertical Speed Indicator=0|defaultsound=x|soundfile3=x|ADFstr=x|"
        "Frequency=0|Frequency=0.0004|Frequency=65.536|Frequency=-1|Frequency=abc|"
        "Frequency=1e400|Frequency=1e300|Activated=|Activated=yes|FuelLeakSpeed=3|"
        "FuelLeakSpeed=-1|FuelLeakSpeed=2.6|PauseWithSim=3|PauseWithSim=x|ADF=3|ADF=-1|"
        "Engine 3=0||\r\n\r\n|SoundFile=z|SoundFile51=z|SoundFile-1=z|SoundFile50.6=z|"
        "SoundFileX=z|SoundFile.=z|SoundFile 1e400=z|SoundFile99999999999999999999=z|"
        "Engine 3Str=1|Str=1|Engine5Str=1|SoundFileStr=1|Engine3Str =1|Engine3STR=1|RateStr=1|"
        "ADFStrStr=1|Frequency=1" +
        std::string(32768 - 10, 'x') + "|DefaultSound=" + std::string(40000, 's');
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = lines.find('|', at);
        const std::string line = lines.substr(at, end - at);
        EXPECT_TRUE(ReadCFG(line).empty()) << line.substr(0, 80);
    }
}

// No key holds "=", so a value may: paths and lists keep theirs.
TEST(ReadCFG, SplitsAtTheFirstEquals) {
    EXPECT_EQ(ReadCFG("DefaultSound="), Only(Entry(EntryKind::DefaultSound, "")));
    EXPECT_EQ(ReadCFG("DefaultSound=C:\\Sounds\\alarm=loud.wav"),
              Only(Entry(EntryKind::DefaultSound, "C:\\Sounds\\alarm=loud.wav")));
    EXPECT_EQ(ReadCFG("SoundFile3==x="), Only(Entry(EntryKind::SoundFile, "=x=", 0, 0, 3)));
    EXPECT_EQ(ReadCFG("ADFStr=1000,0,999,=,100"),
              Only(Entry(EntryKind::SystemStr, "1000,0,999,=,100", 0, 0, 0)));
    EXPECT_EQ(ReadCFG("Rate=1=2"), Only(Entry(EntryKind::Rate, "1=2")));
}

TEST(ReadCFG, Frequency) {
    EXPECT_EQ(ReadCFG("Frequency=30"), Only(Entry(EntryKind::Frequency, "30", 0, 30000)));
    EXPECT_EQ(ReadCFG("Frequency=1.5"), Only(Entry(EntryKind::Frequency, "1.5", 0, 1500)));
    EXPECT_EQ(ReadCFG("Frequency=0.001"), Only(Entry(EntryKind::Frequency, "0.001", 0, 1)));
    EXPECT_EQ(ReadCFG("Frequency=65.535"), Only(Entry(EntryKind::Frequency, "65.535", 0, 65535)));
    // Half milliseconds go to the even neighbour (both values are exact in binary).
    EXPECT_EQ(ReadCFG("Frequency=0.0625"), Only(Entry(EntryKind::Frequency, "0.0625", 0, 62)));
    EXPECT_EQ(ReadCFG("Frequency=0.1875"), Only(Entry(EntryKind::Frequency, "0.1875", 0, 188)));
    EXPECT_EQ(ReadCFG("Frequency=60s"), Only(Entry(EntryKind::Frequency, "60s", 0, 60000)));
}

TEST(ReadCFG, Activated) {
    EXPECT_EQ(ReadCFG("Activated=0"), Only(Entry(EntryKind::Activated, "0", 0)));
    EXPECT_EQ(ReadCFG("Activated=1"), Only(Entry(EntryKind::Activated, "1", 1)));
    EXPECT_EQ(ReadCFG("Activated=7"), Only(Entry(EntryKind::Activated, "7", 1)));
    EXPECT_EQ(ReadCFG("Activated=0.25"), Only(Entry(EntryKind::Activated, "0.25", 1)));
    EXPECT_EQ(ReadCFG("Activated= 0x"), Only(Entry(EntryKind::Activated, " 0x", 0)));

    Settings settings;
    ApplyConfig(settings, "Activated=0");
    EXPECT_FALSE(settings.activated);
    ApplyConfig(settings, "Activated=yes");
    EXPECT_FALSE(settings.activated);
    ApplyConfig(settings, "Activated=2");
    EXPECT_TRUE(settings.activated);
}

TEST(ReadCFG, NotificationBoxes) {
    for (const auto& [key, kind] :
         {std::pair{"AudioNotification"s, EntryKind::AudioNotification},
          std::pair{"VisualNotification"s, EntryKind::VisualNotification}}) {
        SCOPED_TRACE(key);
        auto note = [&](std::string text, int box, bool on) {
            ConfigEntry entry = Entry(kind, std::move(text), box);
            entry.on = on;
            return Only(entry);
        };
        EXPECT_EQ(ReadCFG(key + "=0"), note("0", 0, false));
        EXPECT_EQ(ReadCFG(key + "=1"), note("1", 1, true));
        EXPECT_EQ(ReadCFG(key + "=2"), note("2", 2, true));
        EXPECT_EQ(ReadCFG(key + "=1.5"), note("1.5", 2, true));
        EXPECT_EQ(ReadCFG(key + "=2.5"), note("2.5", 2, true));
        // The box shows the rounded value; the notification follows the value.
        EXPECT_EQ(ReadCFG(key + "=0.5"), note("0.5", 0, true));
        EXPECT_TRUE(ReadCFG(key + "=3").empty());
        EXPECT_TRUE(ReadCFG(key + "=2.6").empty());
        EXPECT_TRUE(ReadCFG(key + "=-1").empty());
        EXPECT_TRUE(ReadCFG(key + "=").empty());
        EXPECT_TRUE(ReadCFG(key + "=on").empty());
    }
    // A greyed box (2) turns the notification on.
    Settings settings = Applied("AudioNotification=2\r\nVisualNotification=0\r\n");
    EXPECT_EQ(settings.audioBox, 2);
    EXPECT_TRUE(settings.audioNotify);
    EXPECT_EQ(settings.textBox, 0);
    EXPECT_FALSE(settings.visualNotify);
    settings = Applied("AudioNotification=0.3");
    EXPECT_EQ(settings.audioBox, 0);
    EXPECT_TRUE(settings.audioNotify);
    // An unusable value leaves the earlier one.
    ApplyConfig(settings, "AudioNotification=0\nAudioNotification=9\nVisualNotification=1");
    EXPECT_EQ(settings.audioBox, 0);
    EXPECT_FALSE(settings.audioNotify);
    EXPECT_EQ(settings.textBox, 1);
    EXPECT_TRUE(settings.visualNotify);
}

TEST(ReadCFG, FuelLeakSpeed) {
    EXPECT_EQ(ReadCFG("FuelLeakSpeed=0"), Only(Entry(EntryKind::FuelLeakSpeed, "0", 0, 7000)));
    EXPECT_EQ(ReadCFG("FuelLeakSpeed=1"), Only(Entry(EntryKind::FuelLeakSpeed, "1", 1, 4000)));
    EXPECT_EQ(ReadCFG("FuelLeakSpeed=2"), Only(Entry(EntryKind::FuelLeakSpeed, "2", 2, 1000)));
    EXPECT_EQ(ReadCFG("FuelLeakSpeed=abc"),
              Only(Entry(EntryKind::FuelLeakSpeed, "abc", 0, 7000)));  // value 0

    const Settings settings = Applied("FuelLeakSpeed=2");
    EXPECT_EQ(settings.fuelLeakSpeed, 2);
    EXPECT_EQ(settings.fuelLeakOption, 2);
}

TEST(ReadCFG, PauseWithSim) {
    EXPECT_EQ(ReadCFG("PauseWithSim=1"), Only(Entry(EntryKind::PauseWithSim, "1", 1)));
    EXPECT_EQ(ReadCFG("PauseWithSim=2"), Only(Entry(EntryKind::PauseWithSim, "2", 2)));
    EXPECT_EQ(Applied("PauseWithSim=2").pauseWithSim, 2);
    EXPECT_EQ(Applied("PauseWithSim=1\nPauseWithSim=x").pauseWithSim, 1);
}

TEST(ReadCFG, SystemCheckBoxes) {
    EXPECT_EQ(ReadCFG("ADF=0"), Only(Entry(EntryKind::Allowed, "0", 0, 0, 0)));
    EXPECT_EQ(ReadCFG("Flaps=2"), Only(Entry(EntryKind::Allowed, "2", 2, 0, 24)));
    EXPECT_EQ(ReadCFG("VerticalSpeedIndicator=0"), Only(Entry(EntryKind::Allowed, "0", 0, 0, 15)));
    EXPECT_EQ(ReadCFG("COMradio=1"), Only(Entry(EntryKind::Allowed, "1", 1, 0, 4)));
    EXPECT_EQ(ReadCFG("Engine3=abc"), Only(Entry(EntryKind::Allowed, "abc", 0, 0, 18)));

    const Settings settings = Applied("CenterTank=0\nLeftTank=2\nLeftTank=5");
    EXPECT_EQ(settings.allowed[23], 0);
    EXPECT_EQ(settings.allowed[21], 2);
    EXPECT_EQ(settings.allowed[22], 1);
}

TEST(ReadCFG, SoundKeys) {
    EXPECT_EQ(ReadCFG("DefaultSound=C:\\x.wav"), Only(Entry(EntryKind::DefaultSound, "C:\\x.wav")));
    EXPECT_EQ(ReadCFG("SoundFile7=e.wav"), Only(Entry(EntryKind::SoundFile, "e.wav", 0, 0, 7)));
    EXPECT_EQ(ReadCFG("SoundFile0="), Only(Entry(EntryKind::SoundFile, "", 0, 0, 0)));
    EXPECT_EQ(ReadCFG("SoundFile50=z"), Only(Entry(EntryKind::SoundFile, "z", 0, 0, 50)));
    // The slot is the value of the rest of the key, rounded.
    for (const auto& [key, slot] : {std::pair{"SoundFile07"s, 7},
                                    {"SoundFile 7"s, 7},
                                    {"SoundFile7.0"s, 7},
                                    {"SoundFile+7"s, 7},
                                    {"SoundFile7 "s, 7},
                                    {"SoundFile0.7e1"s, 7},
                                    {"SoundFile6.5"s, 6},
                                    {"SoundFile7.5"s, 8},
                                    {"SoundFile-0.4"s, 0},
                                    {"SoundFile50.5"s, 50}}) {
        EXPECT_EQ(ReadCFG(key + "=z"), Only(Entry(EntryKind::SoundFile, "z", 0, 0, slot))) << key;
    }
    const Settings settings = Applied("SoundFile7=e.wav\nSoundFile33=slot.wav");
    EXPECT_EQ(settings.soundFiles[7], "e.wav");
    EXPECT_EQ(settings.soundFiles[33], "slot.wav");
    EXPECT_EQ(settings.soundFiles[6], "Undefined");
}

TEST(ReadCFG, SystemLists) {
    EXPECT_EQ(ReadCFG("Engine3Str=1,2"), Only(Entry(EntryKind::SystemStr, "1,2", 0, 0, 18)));
    EXPECT_EQ(ReadCFG("ADFStr="), Only(Entry(EntryKind::SystemStr, "", 0, 0, 0)));
    EXPECT_EQ(ReadCFG("VerticalSpeedIndicatorStr=x"),
              Only(Entry(EntryKind::SystemStr, "x", 0, 0, 15)));
    const Settings settings = Applied("FlapsStr=1000,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(settings.systemStr[24], "1000,0,999,-50,100,-999,99999,C");
    EXPECT_EQ(settings.systemStr[0], "");
}

TEST(ReadCFG, SkipsNonEntriesAndIgnoresSections) {
    const std::string file =
        "[Systems]\r\n\r\nRate=250\r\njunk line\r\n[General]\r\nUnknown=5\r\n=\r\n=7\r\n";
    EXPECT_EQ(ReadCFG(file), Only(Entry(EntryKind::Rate, "250")));
}

TEST(ReadCFG, LaterLineWinsAndUnusableValuesKeepTheEarlierOne) {
    const Settings settings = Applied(
        "Rate=5\nRate=7\nFrequency=30\nFrequency=0\nRate=0\nFuelLeakSpeed=1\nFuelLeakSpeed=4\n"
        "DefaultSound=a\nDefaultSound=b\nADFStr=1\nADFStr=2\nSoundFile3=x\nSoundFile3=y\n");
    EXPECT_EQ(settings.rateDenominator, "7");
    EXPECT_EQ(settings.checkInterval, "30");
    EXPECT_EQ(settings.fuelLeakSpeed, 1);
    EXPECT_EQ(settings.defaultSound, "b");
    EXPECT_EQ(settings.systemStr[0], "2");
    EXPECT_EQ(settings.soundFiles[3], "y");
}

TEST(ReadCFG, EntriesComeInFileOrder) {
    const auto entries = ReadCFG("Flaps=0\nRate=9\nADFStr=x\nActivated=0\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].kind, EntryKind::Allowed);
    EXPECT_EQ(entries[1].kind, EntryKind::Rate);
    EXPECT_EQ(entries[2].kind, EntryKind::SystemStr);
    EXPECT_EQ(entries[3].kind, EntryKind::Activated);
}

TEST(ReadCFG, LineEnds) {
    const std::string file = "Rate=5\r\nFrequency=6\rDefaultSound=s\nADFStr=l\r\r\nFlapsStr=f";
    EXPECT_EQ(ReadCFG(file), (std::vector<ConfigEntry>{
                                 Entry(EntryKind::Rate, "5"),
                                 Entry(EntryKind::Frequency, "6", 0, 6000),
                                 Entry(EntryKind::DefaultSound, "s"),
                                 Entry(EntryKind::SystemStr, "l", 0, 0, 0),
                                 Entry(EntryKind::SystemStr, "f", 0, 0, 24),
                             }));
    for (const auto& entry : ReadCFG("DefaultSound=a\r\r\n\r")) {
        EXPECT_EQ(entry.text.find('\r'), std::string::npos);
    }
    EXPECT_EQ(ReadCFG("DefaultSound=x\n\n"), Only(Entry(EntryKind::DefaultSound, "x")));
    EXPECT_EQ(ReadCFG("DefaultSound=x\r"), Only(Entry(EntryKind::DefaultSound, "x")));
}

TEST(ReadCFG, KeepsBytesAndSurvivesOddInput) {
    EXPECT_EQ(ReadCFG("DefaultSound=C:\\\xE9t\xE9\\a\0b.wav"s),
              Only(Entry(EntryKind::DefaultSound, "C:\\\xE9t\xE9\\a\0b.wav"s)));
    EXPECT_TRUE(ReadCFG("Default\0Sound=x"s).empty());
    EXPECT_TRUE(ReadCFG("\0\0\0="s).empty());

    // A line of 32 KiB is read; a longer one is skipped, and the next is read.
    const std::string longValue(32768 - 7, 'v');
    EXPECT_EQ(ReadCFG("ADFStr=" + longValue + "\r\nRate=5"),
              (std::vector<ConfigEntry>{Entry(EntryKind::SystemStr, longValue, 0, 0, 0),
                                        Entry(EntryKind::Rate, "5")}));
    EXPECT_EQ(ReadCFG("Frequency=1" + std::string(1 << 20, ' ') + "\nRate=5"),
              Only(Entry(EntryKind::Rate, "5")));
    EXPECT_TRUE(ReadCFG(std::string(1 << 20, 'k') + "=1").empty());
    EXPECT_TRUE(ReadCFG(std::string(1 << 20, '=')).empty());
}

TEST(ApplyConfig, ResetsOnlyTheSoundSlots) {
    Settings settings;
    settings.rateDenominator = "77";
    settings.systemStr[2] = "kept";
    settings.soundFiles[4] = "old.wav";
    settings.soundFiles[40] = "old.wav";
    ApplyConfig(settings, "SoundFile5=new.wav");
    EXPECT_EQ(settings.rateDenominator, "77");
    EXPECT_EQ(settings.systemStr[2], "kept");
    EXPECT_EQ(settings.soundFiles[4], "Undefined");
    EXPECT_EQ(settings.soundFiles[40], "Undefined");
    EXPECT_EQ(settings.soundFiles[5], "new.wav");
}

TEST(ApplyEntry, IgnoresIndexesOutsideTheTables) {
    Settings settings;
    const Settings before = settings;
    ApplyEntry(settings, Entry(EntryKind::Allowed, "0", 0, 0, 25));
    ApplyEntry(settings, Entry(EntryKind::Allowed, "0", 0, 0, -1));
    ApplyEntry(settings, Entry(EntryKind::SystemStr, "x", 0, 0, 25));
    ApplyEntry(settings, Entry(EntryKind::SoundFile, "x", 0, 0, 51));
    ApplyEntry(settings, Entry(EntryKind::SoundFile, "x", 0, 0, -1));
    EXPECT_EQ(settings.allowed, before.allowed);
    EXPECT_EQ(settings.systemStr, before.systemStr);
    EXPECT_EQ(settings.soundFiles, before.soundFiles);
}

}  // namespace
}  // namespace skyfault
