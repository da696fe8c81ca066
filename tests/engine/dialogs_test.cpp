// The dialogs' models over a running engine, and the main window's check
// boxes: what both front-ends take from the engine.

#include <string>

#include "engine/front_end.h"
#include "engine/preferences.h"
#include "engine/system_settings.h"
#include "settings/config.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

TEST_F(EngineTest, PreferencesCorrectTheRateAndIntervalAndGreyedBoxesCountAsTicked) {
    WriteConfig(
        "[General]\r\nAudioNotification=2\r\nPauseWithSim=2\r\n[Systems]\r\n"
        "CompassStr=5,0,999,-50,100,-999,99999,D\r\n");
    Make();
    Preferences prefs(*engine);  // made with the window, before the file is read
    engine->Main();
    EXPECT_FALSE(timer(TimerId::Synchronize).Enabled());  // only 1 runs the pause check
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        {"12abc", "1.0005", "", 1000},  // halves go to the even neighbour
        {"-5", "60", "Min rate value is 1.", 60000},
        {"70000", "0", "Min interval is 1.", 1000},  // each message replaces the last
        {"65000.5", "60", "Max rate value is 65000.", 60000},
        {"1000", "66", "Max interval is 65.", 65000},
    };
    for (const auto& [rate, interval, status, period] : cases) {
        prefs.Show();
        prefs.SetRateText(rate);
        prefs.SetIntervalText(interval);
        engine->SetStatusText("");
        EXPECT_TRUE(prefs.cmdPrefsOK_Click());
        EXPECT_EQ(Status(), status) << rate << " " << interval;
        EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), period) << interval;
    }
    EXPECT_EQ(state().settings.systemStr[5], "1000,0,999,-50,100,-999,99999,D");
    EXPECT_TRUE(timer(TimerId::Synchronize).Enabled());
    prefs.Show();
    prefs.chkText_Click();
    prefs.optFuelLeakSpeed_Click(2);
    prefs.cmdPrefsOK_Click();
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_FALSE(state().settings.visualNotify);
    EXPECT_TRUE(state().settings.audioNotify);
    prefs.SetRateText("5");  // Cancel puts every box back
    prefs.chkAudio_Click();
    prefs.cmdPrefsCancel_Click();
    EXPECT_EQ(prefs.form().txtRateDenominator, "1000");
    EXPECT_EQ(prefs.form().chkAudio, 2);
}

TEST_F(EngineTest, SystemSettingsShowStoreResetAndCancelACommaList) {
    WriteConfig("[Systems]\r\nADFStr=\r\nCenterTankStr=1,2,3,4,5,6,7,C\r\n");
    Start();
    SystemSettings dialog(*engine);
    dialog.cmdSoundBrowse_Click("");  // a cancelled browse keeps the box
    dialog.cmdOKSystemSettings_Click();
    EXPECT_EQ(state().settings.systemStr[0], ",,,,,,,C");
    EXPECT_EQ(state().settings.soundFiles[0], "Undefined");
    dialog.Show();
    dialog.SetText(SystemBox::SystemRate, "1,5");  // a comma becomes a field separator
    dialog.cmdResetSystemSettings_Click();
    EXPECT_EQ(dialog.form().txtEndAlt, "99999");
    dialog.SetText(SystemBox::SystemRate, "7");
    dialog.cmbSystem_Click(4);  // "Center Tank", found by its caption
    EXPECT_EQ(dialog.itemID(), 23);
    EXPECT_EQ(dialog.form().txtBegIAS, "2");
    EXPECT_EQ(dialog.form().txtEndIAS, "3");
    EXPECT_EQ(state().settings.systemStr[0], "7,0,999,-50,100,-999,99999,C");
    dialog.cmdCancelSystemSettings_Click();  // every list back as at the showing
    EXPECT_EQ(state().settings.systemStr[0], ",,,,,,,C");
}

// What the boxes hold beyond what the file keeps whole is cut, with a
// message, so that the next start reads back every list and sound as saved.
TEST_F(EngineTest, TheLongestEntriesTheDialogsAcceptReadBackWhole) {
    Start();
    SystemSettings systems(*engine);
    systems.cmbSystem_Click(24);  // Vertical Speed Indicator, the longest key
    for (const SystemBox box :
         {SystemBox::SystemRate, SystemBox::BegIAS, SystemBox::EndIAS, SystemBox::BegOAT,
          SystemBox::EndOAT, SystemBox::BegAlt, SystemBox::EndAlt}) {
        systems.SetText(box, std::string(5000, '1'));
    }
    systems.SetText(SystemBox::SystemSound, std::string(40000, 's'));
    EXPECT_TRUE(systems.cmdOKSystemSettings_Click());
    EXPECT_EQ(Status(), kMaxPathMessage);
    Preferences prefs(*engine);
    prefs.Show();
    prefs.SetRateText("5" + std::string(5000, ' '));
    prefs.SetSoundText(std::string(kMaxPathBytes, 'd'));
    EXPECT_TRUE(prefs.cmdPrefsOK_Click());
    EXPECT_EQ(Status(), kMaxEntryMessage);
    const Settings saved = state().settings;
    EXPECT_EQ(saved.systemStr[15].size(), 7 * (kMaxEntryBytes + 1) + 1);
    EXPECT_EQ(saved.soundFiles[15].size(), kMaxPathBytes);
    Stop();
    Start();
    EXPECT_EQ(state().settings.systemStr, saved.systemStr);
    EXPECT_EQ(state().settings.soundFiles, saved.soundFiles);
    EXPECT_EQ(state().settings.rateDenominator, "5" + std::string(kMaxEntryBytes - 1, ' '));
    EXPECT_EQ(state().settings.defaultSound, saved.defaultSound);
}

TEST_F(EngineTest, ACheckBoxClickTicksAnUntickedBoxAndClearsATickedOrGreyedOne) {
    WriteConfig("[Failures]\r\nADF=0\r\nAltimeter=1\r\nCompass=2\r\n");
    Start();
    const auto& allowed = state().settings.allowed;
    EXPECT_EQ(CheckStateOf(allowed[5]), CheckState::Greyed);
    for (const auto& [id, after] : {std::pair{0, 1}, {2, 0}, {5, 0}, {5, 1}}) {
        chkFailureType_Click(*engine, id);
        EXPECT_EQ(allowed[id], after) << id;
    }
    chkFailureType_Click(*engine, kSystemCount);  // no such box: nothing changes
    EXPECT_EQ(CheckStateOf(allowed[0]), CheckState::Checked);
}

}  // namespace
}  // namespace skyfault::engine::testing
