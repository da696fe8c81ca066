// The Preferences dialog's model over a running engine: the rate and
// interval rules and Cancel putting every box back.

#include <string>

#include "engine/preferences.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

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

// Widget-level tests cover the common corrections and Cancel; these cover
// the rest of the rules on the model, which also runs under Wine.

TEST_F(PreferencesTest, RateAndIntervalCorrectionsBeyondTheCommonOnes) {
    for (const char* rate : {"", "abc", "-5", "0.5"}) {
        Open();
        OkWith(rate, "60");
        EXPECT_EQ(Status(), "Min rate value is 1.") << rate;
        EXPECT_EQ(state().window.lblRate, " 1") << rate;
        EXPECT_EQ(state().settings.systemStr[5], "1,0,999,-50,100,-999,99999,D") << rate;
        prefs.reset();
        engine.reset();
    }
    Open();
    OkWith("1000", "66");
    EXPECT_EQ(Status(), "Max interval is 65.");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 65000);
    // Halves go to the even neighbour: 1.0005 s is 1000 ms, 1.0015 s 1002 ms.
    engine->SetStatusText("before");
    prefs->Show();
    OkWith("12abc", "1.0005");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1000);
    EXPECT_EQ(state().settings.rateDenominator, "12abc");  // its number passes, kept as typed
    prefs->Show();
    OkWith("1000", "1.0015");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 1002);
    EXPECT_EQ(Status(), "before");
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
}

TEST_F(PreferencesTest, CancelPutsEveryBoxBack) {
    WriteConfig("[Sounds]\r\nDefaultSound=bell.wav\r\n");
    Open();
    prefs->SetRateText("5");
    prefs->SetIntervalText("9");
    prefs->cmdDefaultBrowse_Click("");  // cancelled: the box is emptied
    EXPECT_EQ(prefs->form().txtDefaultSound, "");
    prefs->chkAudio_Click();
    prefs->chkText_Click();
    prefs->chkPause_Click();
    prefs->optFuelLeakSpeed_Click(0);
    prefs->cmdPrefsCancel_Click();
    EXPECT_FALSE(prefs->visible());
    const PreferencesForm& f = prefs->form();
    EXPECT_EQ(f.txtRateDenominator, "1000");
    EXPECT_EQ(f.txtInterval, "60");
    EXPECT_EQ(f.txtDefaultSound, "bell.wav");
    EXPECT_EQ(f.chkAudio, 1);
    EXPECT_EQ(f.chkText, 1);
    EXPECT_EQ(f.chkPause, 0);
    EXPECT_EQ(f.optFuelLeakSpeed, 1);
    EXPECT_EQ(state().settings.rateDenominator, "1000");
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 60000);
}

}  // namespace
}  // namespace skyfault::engine::testing
