// The Preferences dialog's model over a running engine: the rate and
// interval checks, OK applying every box, Cancel putting every box back.

#include <string>

#include "engine/preferences.h"
#include "settings/config.h"
#include "settings/text.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

constexpr const char* kDefaultList = "1000,0,999,-50,100,-999,99999,D";
constexpr const char* kCustomList = "250,0,999,-50,100,-999,99999,C";

class PreferencesTest : public EngineTest {
protected:
    std::unique_ptr<Preferences> prefs;

    // As the program starts: the dialog is made with the window, then Main
    // reads the file; the user opens the dialog.
    void Open() {
        engine = std::make_unique<Engine>(
            Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
        prefs = std::make_unique<Preferences>(*engine);
        engine->Main();
        prefs->Show();
    }
    void OkWith(const std::string& rate, const std::string& interval) {
        prefs->SetRateText(rate);
        prefs->SetIntervalText(interval);
        prefs->cmdPrefsOK_Click();
    }
    const std::string& Status() const { return state().window.txtMessage.text; }
};

TEST_F(PreferencesTest, ShowingFillsTheBoxesFromTheFileReadAtStart) {
    WriteConfig(
        "[General]\r\nRate=500\r\nFrequency=30\r\nAudioNotification=2\r\nVisualNotification=0\r\n"
        "FuelLeakSpeed=2\r\nPauseWithSim=1\r\n[Sounds]\r\nDefaultSound=c:\\bell.wav\r\n");
    Open();
    const PreferencesForm& f = prefs->form();
    EXPECT_TRUE(prefs->visible());
    EXPECT_EQ(f.txtRateDenominator, "500");
    EXPECT_EQ(f.txtInterval, "30");
    EXPECT_EQ(f.txtDefaultSound, "c:\\bell.wav");
    EXPECT_EQ(f.chkAudio, 2);
    EXPECT_EQ(f.chkText, 0);
    EXPECT_EQ(f.optFuelLeakSpeed, 2);
    EXPECT_EQ(f.chkPause, 1);

    // Showing it again while it is shown keeps what the user typed.
    prefs->SetRateText("7");
    prefs->Show();
    EXPECT_EQ(prefs->form().txtRateDenominator, "7");
}

TEST_F(PreferencesTest, TooLargeRateAndTooSmallIntervalAreBothCorrectedLastMessageStays) {
    Open();
    engine->settings().systemStr[3] = kCustomList;
    OkWith("70000", "0");
    EXPECT_EQ(Status(), "Min interval is 1.");
    EXPECT_EQ(prefs->form().txtRateDenominator, "65000");
    EXPECT_EQ(prefs->form().txtInterval, "1");
    EXPECT_EQ(state().settings.rateDenominator, "65000");
    EXPECT_EQ(state().window.lblRate, " .00001538");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1000);
    EXPECT_EQ(state().lblInterval(), "1");
    // Systems that follow the default take the corrected text; custom keep theirs.
    EXPECT_EQ(state().settings.systemStr[0], "65000,0,999,-50,100,-999,99999,D");
    EXPECT_EQ(state().settings.systemStr[3], kCustomList);
    EXPECT_FALSE(prefs->visible());
}

TEST_F(PreferencesTest, RateWithoutAPositiveValueBecomesOne) {
    for (const char* rate : {"0", "", "abc", "-5", "0.5"}) {
        Open();
        OkWith(rate, "60");
        EXPECT_EQ(Status(), "Min rate value is 1.") << rate;
        EXPECT_EQ(state().settings.rateDenominator, "1") << rate;
        EXPECT_EQ(state().window.lblRate, " 1") << rate;
        EXPECT_EQ(state().settings.systemStr[5], "1,0,999,-50,100,-999,99999,D") << rate;
        prefs.reset();
        engine.reset();
    }
}

TEST_F(PreferencesTest, TooLargeIntervalBecomes65) {
    Open();
    OkWith("1000", "66");
    EXPECT_EQ(Status(), "Max interval is 65.");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 65000);
    EXPECT_EQ(state().lblInterval(), "65");
}

TEST_F(PreferencesTest, FractionsInsideTheBoundsPassAndTheBoundsThemselvesToo) {
    Open();
    OkWith("1000", "0.5");
    EXPECT_EQ(Status(), "Min interval is 1.");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1000);

    engine->SetStatusText("before");
    prefs->Show();
    OkWith("1000", "1.5");
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1500);
    EXPECT_EQ(state().lblInterval(), "1.5");

    prefs->Show();
    OkWith("65000", "65");
    EXPECT_EQ(Status(), "before");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 65000);
    EXPECT_EQ(state().settings.rateDenominator, "65000");

    // Halves go to the even neighbour: 1.0005 s is 1000 ms, 1.0015 s 1002 ms.
    prefs->Show();
    OkWith("12abc", "1.0005");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1000);
    EXPECT_EQ(state().settings.rateDenominator, "12abc");  // its number passes, kept as typed
    prefs->Show();
    OkWith("1000", "1.0015");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1002);
    EXPECT_EQ(Status(), "before");
}

TEST_F(PreferencesTest, OkAppliesTheOtherBoxesAndWritesTheFile) {
    Open();
    EXPECT_TRUE(timer(TimerId::Synchronize).Enabled());  // as designed, before any setting
    prefs->optFuelLeakSpeed_Click(2);
    prefs->chkAudio_Click();  // off
    prefs->chkPause_Click();  // on
    prefs->SetSoundText("/sounds/alarm.wav");
    prefs->cmdPrefsOK_Click();
    EXPECT_EQ(state().settings.fuelLeakSpeed, 2);
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_FALSE(state().settings.audioNotify);
    EXPECT_TRUE(state().settings.visualNotify);
    EXPECT_EQ(state().settings.pauseWithSim, 1);
    EXPECT_TRUE(timer(TimerId::Synchronize).Enabled());
    EXPECT_EQ(state().settings.defaultSound, "/sounds/alarm.wav");
    EXPECT_EQ(state().preferences.txtDefaultSound, "/sounds/alarm.wav");
    const std::string file = ReadFile(configPath);
    EXPECT_NE(file.find("FuelLeakSpeed=2\r\n"), std::string::npos);
    EXPECT_NE(file.find("AudioNotification=0\r\n"), std::string::npos);
    EXPECT_NE(file.find("PauseWithSim=1\r\n"), std::string::npos);
    EXPECT_NE(file.find("DefaultSound=/sounds/alarm.wav\r\n"), std::string::npos);

    prefs->Show();
    prefs->optFuelLeakSpeed_Click(0);
    prefs->chkPause_Click();  // off
    prefs->cmdPrefsOK_Click();
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 7000);
    EXPECT_FALSE(timer(TimerId::Synchronize).Enabled());
}

TEST_F(PreferencesTest, GreyedBoxesCountAsTicked) {
    WriteConfig("[General]\r\nAudioNotification=2\r\nPauseWithSim=2\r\n");
    Open();
    EXPECT_FALSE(timer(TimerId::Synchronize).Enabled());
    ASSERT_EQ(prefs->form().chkPause, 2);
    prefs->cmdPrefsOK_Click();
    EXPECT_TRUE(state().settings.audioNotify);
    EXPECT_EQ(state().settings.audioBox, 2);
    // The pause follows the simulator from now on, and the file says so.
    EXPECT_TRUE(timer(TimerId::Synchronize).Enabled());
    EXPECT_NE(ReadFile(configPath).find("PauseWithSim=1\r\n"), std::string::npos);
    prefs->Show();
    EXPECT_EQ(prefs->form().chkPause, 1);
    // A click clears a greyed box.
    prefs->chkAudio_Click();
    EXPECT_EQ(prefs->form().chkAudio, 0);
}

TEST_F(PreferencesTest, CancelPutsEveryBoxBackAndNothingUnconfirmedIsStoredLater) {
    Open();
    prefs->SetRateText("5");
    prefs->SetIntervalText("9");
    prefs->SetSoundText("typed.wav");
    prefs->chkAudio_Click();
    prefs->chkText_Click();
    prefs->chkPause_Click();
    prefs->optFuelLeakSpeed_Click(0);
    prefs->cmdPrefsCancel_Click();
    EXPECT_FALSE(prefs->visible());
    const PreferencesForm& f = prefs->form();
    EXPECT_EQ(f.txtRateDenominator, "1000");
    EXPECT_EQ(f.txtInterval, "60");
    EXPECT_EQ(f.txtDefaultSound, "");
    EXPECT_EQ(f.chkAudio, 1);
    EXPECT_EQ(f.chkText, 1);
    EXPECT_EQ(f.chkPause, 0);
    EXPECT_EQ(f.optFuelLeakSpeed, 1);
    EXPECT_EQ(state().settings.rateDenominator, "1000");
    EXPECT_EQ(state().settings.systemStr[0], kDefaultList);
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 60000);

    // A later save writes the settings in force, not the cancelled edits.
    ASSERT_TRUE(engine->WriteCFG());
    const std::string file = ReadFile(configPath);
    EXPECT_NE(file.find("Rate=1000\r\n"), std::string::npos);
    EXPECT_NE(file.find("PauseWithSim=0\r\n"), std::string::npos);
    prefs->Show();
    EXPECT_EQ(prefs->form().txtRateDenominator, "1000");
}

TEST_F(PreferencesTest, BrowseCancelledEmptiesTheBoxAndCancelBringsTheSoundBack) {
    WriteConfig("[Sounds]\r\nDefaultSound=bell.wav\r\n");
    Open();
    prefs->cmdDefaultBrowse_Click("/home/pilot/horn.wav");
    EXPECT_EQ(prefs->form().txtDefaultSound, "/home/pilot/horn.wav");
    prefs->cmdDefaultBrowse_Click("");
    EXPECT_EQ(prefs->form().txtDefaultSound, "");
    prefs->cmdPrefsCancel_Click();
    EXPECT_EQ(prefs->form().txtDefaultSound, "bell.wav");
    EXPECT_EQ(state().settings.defaultSound, "bell.wav");
}

TEST_F(PreferencesTest, ASaveFailureIsShownAndTheSettingsStayApplied) {
    Open();
    std::filesystem::create_directories(configPath / "inside");  // no file can go there
    OkWith("500", "30");
    EXPECT_EQ(Status().rfind(SaveErrorMessage(""), 0), 0u) << Status();
    EXPECT_EQ(state().settings.rateDenominator, "500");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 30000);
}

}  // namespace
}  // namespace skyfault::engine::testing
