// Start-up, the configuration applied to the live state, saving and leaving.

#include <string>

#include "engine/preferences.h"
#include "engine/system_settings.h"
#include "settings/config.h"
#include "settings/text.h"
#include "tests/support/engine_fixture.h"

namespace skyfault::engine::testing {
namespace {

TEST_F(EngineTest, TheTitleSaysConnectedOrCarriesTheLinksReason) {
    Start();
    EXPECT_EQ(state().window.title, "Skyfault Connected");
    EXPECT_TRUE(state().window.connectStatus);
    engine.reset();
    link.LinkClose();
    server.SetWindowClass("");
    Start();
    EXPECT_EQ(state().window.title, "Skyfault Error: Cannot link to FSUIPC or WideClient");
    EXPECT_FALSE(state().window.connectStatus);
    EXPECT_TRUE(state().window.loaded);
}

TEST_F(EngineTest, AMissingFileStartsFromTheDefaultsAndTheDesignedWindow) {
    // The timers are made switched off; however long the link's open takes,
    // they take their designed states only when the window loads.
    engine = std::make_unique<Engine>(
        Engine::Dependencies{link, clock, sound, &random, &clock, configPath.string()});
    for (int id = 0; id < kTimerCount; ++id) {
        EXPECT_FALSE(timer(static_cast<TimerId>(id)).Enabled()) << id;
    }
    clock.Advance(60000);
    EXPECT_EQ(clock.TickCount(), 0);
    engine->Main();
    const auto& s = state().settings;
    for (int id = 0; id < kSystemCount; ++id) {
        EXPECT_EQ(s.systemStr[id], "1000,0,999,-50,100,-999,99999,D");
        EXPECT_EQ(s.allowed[id], 1);
        EXPECT_TRUE(state().window.chkFailureTypeEnabled[id]);
    }
    EXPECT_EQ(state().window.txtMessage.text, "Skyfault Activated");
    EXPECT_EQ(state().window.lblRate, ".001");
    EXPECT_EQ(s.pauseWithSim, 0);
    struct Expected {
        TimerId id;
        int period;
        bool enabled;
    };
    for (const Expected& e :
         {Expected{TimerId::FailureEvent, 60000, true}, Expected{TimerId::CheckConnect, 5000, true},
          Expected{TimerId::Synchronize, 1000, false}, Expected{TimerId::EngineOut, 2000, false},
          Expected{TimerId::FuelLeak, 3000, false}, Expected{TimerId::GearStuck, 3000, false},
          Expected{TimerId::FlapsStuck, 3000, false}}) {
        EXPECT_EQ(timer(e.id).Interval(), e.period) << static_cast<int>(e.id);
        EXPECT_EQ(timer(e.id).Enabled(), e.enabled) << static_cast<int>(e.id);
    }
    // The pause box is not ticked, so the pause check does not run. Each
    // first tick comes one full period after the load.
    clock.Advance(4999);
    EXPECT_EQ(clock.TickCount(), 0);
    clock.Advance(1);
    EXPECT_EQ(clock.TickCount(), 1);
    clock.Advance(54999);
    EXPECT_TRUE(random.seeds.empty());
    clock.Advance(1);
    EXPECT_EQ(random.seeds.size(), 1u);
    // The notification boxes are ticked, and the notifications are on.
    EXPECT_EQ(s.audioBox, 1);
    EXPECT_EQ(s.textBox, 1);
    EXPECT_TRUE(s.audioNotify);
    EXPECT_TRUE(s.visualNotify);
    // The file is written at the next save.
    EXPECT_FALSE(std::filesystem::exists(configPath));
    EXPECT_TRUE(engine->WriteCFG());
    EXPECT_NE(ReadFile(configPath).find("ADFStr=1000,0,999,-50,100,-999,99999,D\r\n"),
              std::string::npos);
}

TEST_F(EngineTest, ConfigurationIsAppliedToTheLiveStateInFileOrder) {
    WriteConfig(
        "[General]\r\nRate=500\r\nFrequency=30\r\nActivated=1\r\nActivated=0\r\n"
        "AudioNotification=2\r\nVisualNotification=0\r\nFuelLeakSpeed=2\r\nPauseWithSim=1\r\n"
        "[Failures]\r\nPitot=0\r\n[Sounds]\r\nDefaultSound=C:\\d.wav\r\nSoundFile7=C:\\e.wav\r\n"
        "[Systems]\r\nEngine3Str=5,1,2,3,4,5,6,C\r\n");
    Start();
    const auto& s = state().settings;
    EXPECT_EQ(state().window.lblRate, FormatProbability("500"));
    EXPECT_EQ(timer(TimerId::FailureEvent).Interval(), 30000);
    EXPECT_EQ(state().lblInterval(), "30");
    // Activated=1 then Activated=0: the later line wins.
    EXPECT_FALSE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_EQ(state().window.txtMessage.text, "Skyfault Disabled");
    EXPECT_EQ(s.audioBox, 2);
    EXPECT_FALSE(s.visualNotify);
    EXPECT_EQ(timer(TimerId::FuelLeak).Interval(), 1000);
    EXPECT_TRUE(timer(TimerId::Synchronize).Enabled());
    EXPECT_EQ(s.allowed[11], 0);
    EXPECT_EQ(s.defaultSound, "C:\\d.wav");
    EXPECT_EQ(s.soundFiles[7], "C:\\e.wav");
    EXPECT_EQ(s.soundFiles[8], "Undefined");
    EXPECT_EQ(s.systemStr[18], "5,1,2,3,4,5,6,C");
    EXPECT_EQ(s.systemStr[17], "");  // no line: an empty list
}

TEST_F(EngineTest, ActivatedZeroThenOneIsActivatedWhileTheLinkStillCountsAsDown) {
    WriteConfig("Activated=0\r\nActivated=1\r\nPauseWithSim=2\r\n");
    Start();
    EXPECT_EQ(state().window.txtMessage.text, "Skyfault Activated");
    EXPECT_TRUE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_FALSE(timer(TimerId::Synchronize).Enabled());  // only 1 runs it
    // The file is read before the link: the connection timer started and
    // stops at its first tick.
    EXPECT_TRUE(state().window.connectStatus);
    EXPECT_TRUE(timer(TimerId::CheckConnect).Enabled());
    clock.Advance(5000);
    EXPECT_FALSE(timer(TimerId::CheckConnect).Enabled());
}

TEST_F(EngineTest, AnUnreadableFileGivesTheDefaultsAndSaysWhy) {
    std::filesystem::create_directories(configPath);  // a folder cannot be read as a file
    Start();
    EXPECT_EQ(state().window.txtMessage.text.rfind(ReadErrorMessage(""), 0), 0u)
        << state().window.txtMessage.text;
    EXPECT_GT(state().window.txtMessage.text.size(), ReadErrorMessage("").size());
    EXPECT_EQ(state().settings.systemStr[0], "1000,0,999,-50,100,-999,99999,D");
    EXPECT_TRUE(state().settings.audioNotify);
    EXPECT_TRUE(state().settings.visualNotify);
}

TEST_F(EngineTest, ASaveFailureShowsWhyAndLosesNothing) {
    WriteConfig("Rate=500\r\n");
    Start();
    // Keep the old file aside and put a folder where the file goes.
    const auto old = configPath.parent_path() / "old.cfg";
    std::filesystem::rename(configPath, old);
    std::filesystem::create_directories(configPath / "inside");
    engine->settings().systemStr[3] = "7,0,999,-50,100,-999,99999,C";
    sound.commands.clear();
    EXPECT_FALSE(engine->WriteCFG());
    const std::string message = state().window.txtMessage.text;
    EXPECT_EQ(message.rfind(SaveErrorMessage(""), 0), 0u) << message;
    EXPECT_TRUE(std::filesystem::is_directory(configPath / "inside"));
    EXPECT_EQ(sound.commands, (std::vector<std::string>{"Close"}));
    // Exit does not leave while the settings cannot be saved, and the
    // dialogs' OK does not hide them: the status line says why.
    engine->btnExit_Click();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(link.IsOpen());
    Preferences prefs(*engine);
    SystemSettings systems(*engine);
    prefs.Show();
    prefs.SetRateText("250");
    engine->SetStatusText("");
    EXPECT_FALSE(prefs.cmdPrefsOK_Click());
    EXPECT_TRUE(prefs.visible());
    EXPECT_EQ(state().window.txtMessage.text.rfind(SaveErrorMessage(""), 0), 0u);
    EXPECT_EQ(state().settings.rateDenominator, "250");  // in force all the same
    engine->SetStatusText("");
    EXPECT_FALSE(systems.cmdOKSystemSettings_Click());
    EXPECT_TRUE(systems.visible());
    EXPECT_EQ(state().window.txtMessage.text.rfind(SaveErrorMessage(""), 0), 0u);
    // Once the place is free again, everything is written and OK hides.
    std::filesystem::remove_all(configPath);
    EXPECT_TRUE(systems.cmdOKSystemSettings_Click());
    EXPECT_FALSE(systems.visible());
    EXPECT_TRUE(prefs.cmdPrefsOK_Click());
    EXPECT_FALSE(prefs.visible());
    const std::string written = ReadFile(configPath);
    EXPECT_NE(written.find("Rate=250\r\n"), std::string::npos);
    EXPECT_NE(written.find("AttitudeIndicatorStr=7,0,999,-50,100,-999,99999,C\r\n"),
              std::string::npos);
}

TEST_F(EngineTest, ExitWritesThenQuitsTheCloseBoxQuitsWithoutWriting) {
    Start();
    engine->Unload();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(configPath));
    engine.reset();
    Start();
    engine->cmdDisable_Click();
    bool fileAtQuit = false;
    bool linkOpenAtQuit = true;
    engine->SetQuitCallback([&] {
        ++quits;
        fileAtQuit = std::filesystem::exists(configPath);
        linkOpenAtQuit = link.IsOpen();
    });
    engine->btnExit_Click();
    EXPECT_EQ(quits, 2);
    EXPECT_TRUE(fileAtQuit);
    EXPECT_FALSE(linkOpenAtQuit);
    EXPECT_NE(ReadFile(configPath).find("Activated=0\r\n"), std::string::npos);
    const int sends = server.Sends();  // nothing runs any more
    clock.Advance(600000);
    EXPECT_EQ(server.Sends(), sends);
}

TEST_F(EngineTest, ActivateAndDisableSwitchTheTimersButtonsAndText) {
    server.SetWindowClass("");
    Start();
    engine->cmdDisable_Click();
    EXPECT_FALSE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_FALSE(timer(TimerId::CheckConnect).Enabled());
    EXPECT_TRUE(state().window.cmdActivateEnabled);
    const auto queries = server.WindowQueries().size();
    clock.Advance(20000);  // no connection attempts while disabled
    EXPECT_EQ(server.WindowQueries().size(), queries);
    engine->cmdActivate_Click();
    EXPECT_TRUE(timer(TimerId::FailureEvent).Enabled());
    EXPECT_TRUE(timer(TimerId::CheckConnect).Enabled());
    EXPECT_FALSE(state().window.cmdActivateEnabled);
    EXPECT_TRUE(state().window.cmdDisableEnabled);
}

}  // namespace
}  // namespace skyfault::engine::testing
