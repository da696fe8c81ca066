#pragma once

// The run-time behaviour of Skyfault, without any drawing.
//
// `Engine` is the model of the main window (`frmMain`) together with the
// modules that drive it: start-up and shutdown (`Main`, `Unload`), the
// configuration reader and writer applied to the live state (`ReadCFG` on
// first load, `WriteCFG`), the failure check cycle and the failure actions,
// the continuing failures, the notifications, the link supervision and the
// pause check. It owns the seven timers (made through a `TimerFactory`,
// switched off until the window loads) and drives the one sound player;
// everything runs on the caller's thread.
//
// How a user interface uses it:
//   1. Make the link (`link::Link` over `link::MakePlatformTransport()`), a
//      timer factory (real window timers), a sound player, and an `Engine`
//      over them (`Engine::Dependencies`). Real time sources and a random
//      generator are given by default.
//   2. Set `SetChangedCallback`: it is called after every command or timer
//      tick that changed the state, and at once when a failure text must be
//      shown before its sound starts. Redraw from `state()` there.
//   3. Set `SetQuitCallback`: called by `Unload` after the link is closed;
//      the program must end without saving anything more.
//   4. Call `Main()`. The first call loads the window (reads the
//      configuration file); `state().window.loaded` then says the window is
//      to be shown. Later calls (from `tmrCheckConnect`) only open the link
//      again.
//   5. Forward the window's commands: `cmdActivate_Click`, `cmdDisable_Click`,
//      `btnExit_Click` / `mnuFileExit_Click`, and `Unload` for the close box.
//      Check boxes the user ticks go through `SetAllowed`.
//   6. The dialogs are models of their own over this one (`Preferences` in
//      engine/preferences.h, `SystemSettings` in engine/system_settings.h):
//      they keep the user's edits apart, apply them through the `Set...` /
//      `Apply...` operations below on OK, then call `WriteCFG()`.
//
// Where each value lives:
//   - `state().window`: title, status line, the two buttons, `lblRate`, the
//     enabled (not yet failed) mark of each check box, `connectStatus`.
//   - `state().settings` (skyfault::Settings): the settings in force: the
//     default rate (`rateDenominator`), `lblInterval` (`checkInterval`), the
//     check box values (`allowed`), the notification boxes (`audioBox`/
//     `textBox`), `audioNotify`, `visualNotify`, `fuelLeakSpeed`, the
//     selected leak option (`fuelLeakOption`), the pause box
//     (`pauseWithSim`), `defaultSound`, the comma lists and the sound table.
//     `settings.activated` mirrors the buttons (activated = `cmdActivate`
//     disabled).
//   - `state().preferences`: the interval and sound texts in force, from
//     which the Preferences dialog fills its boxes when it is shown.
//   - the timers: `timer(TimerId)`.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/captions.h"
#include "engine/flight_log.h"
#include "engine/sources.h"
#include "engine/timer.h"
#include "link/link.h"
#include "settings/catalogue.h"
#include "settings/model.h"

namespace skyfault {
struct ConfigEntry;
}  // namespace skyfault

namespace skyfault::engine {

enum class TextColour { Black, Red };

struct StatusLine {
    std::string text = caption::kTxtMessage;
    TextColour colour = TextColour::Black;
};

// The main window as it starts, before the configuration is applied.
struct MainWindowState {
    bool loaded = false;  // loaded (and to be shown) by the first Main
    std::string title = "Skyfault";
    StatusLine txtMessage;
    bool cmdActivateEnabled = false;
    bool cmdDisableEnabled = true;
    std::string lblRate = ".001";
    // Enabled = the system has not failed in this run.
    std::array<bool, kSystemCount> chkFailureTypeEnabled;
    bool connectStatus = false;

    MainWindowState() { chkFailureTypeEnabled.fill(true); }
};

// Preferences controls that hold text of their own. The other Preferences
// controls are held in `Settings` (see the overview above).
struct PreferencesControls {
    std::string txtInterval = "60";
    std::string txtDefaultSound;
};

// What keeps failures going after they happened.
struct ContinuingFailureState {
    std::array<bool, 4> engineOut{};  // engines 1..4
    std::array<bool, 3> tankLeak{};   // left, right, centre
    std::int32_t stuckGearPosition = 0;
    std::int32_t stuckFlapsPosition = 0;
};

// This run's failures and repairs, and the limit's count.
struct FlightState {
    // Newest last; the oldest go once there are kMaxFlightEvents.
    std::vector<FlightEvent> events;
    // Failures since the start or the last repair (the limit counts these).
    int failuresCounted = 0;
};
inline constexpr std::size_t kMaxFlightEvents = 10000;

struct EngineState {
    MainWindowState window;
    FlightState flight;
    PreferencesControls preferences;
    Settings settings;
    ContinuingFailureState continuing;
    bool pausedBySim = false;
    // Filled by every run of Main.
    std::array<std::string, link::kResultCount> linkResultText;

    // The check interval label shows the check interval text.
    const std::string& lblInterval() const { return settings.checkInterval; }
};

// The offset written to fail each system, and the size and value written.
struct FailureWrite {
    std::uint32_t offset;
    std::uint32_t size;
    std::int32_t value;  // gear and flaps write back what was read instead
};
extern const std::array<FailureWrite, kSystemCount> FailureOffsetTable;

// Simulator offsets used by the engine.
namespace offsets {
inline constexpr std::uint32_t kPause = 0x0264;
inline constexpr std::uint32_t kOutsideAirTemperature = 0x0E8C;
inline constexpr std::uint32_t kIndicatedAirspeed = 0x02BC;
inline constexpr std::uint32_t kGroundAltitude = 0x0B4C;
inline constexpr std::uint32_t kGearControl = 0x0BE8;
inline constexpr std::uint32_t kFlapsControl = 0x0BDC;
inline constexpr std::array<std::uint32_t, 4> kMixture = {0x0890, 0x0928, 0x09C0, 0x0A58};
// Left, right, centre.
inline constexpr std::array<std::uint32_t, 3> kTankLevel = {0x0B7C, 0x0B94, 0x0B74};
}  // namespace offsets

enum class TimerId {
    FailureEvent,
    CheckConnect,
    Synchronize,
    EngineOut,
    FuelLeak,
    GearStuck,
    FlapsStuck,
};
inline constexpr int kTimerCount = 7;

// The conversions of the values read for the failure windows.
double OutsideAirTemperature(std::int16_t raw);  // degrees Celsius
double IndicatedAirspeed(std::int32_t raw);      // whole knots, halves to even
double GroundAltitude(std::uint16_t raw);        // feet

// One turn of a tick's examination: draws the whole part of 25 r (r random
// in [0, 1)) again and again until a system not yet `examined` comes up, and
// marks it. A tick's 25 turns examine each system once.
int DrawNextSystem(RandomSource& random, std::array<bool, kSystemCount>& examined);

class Engine final {
public:
    struct Dependencies {
        link::Link& link;
        TimerFactory& timers;
        SoundPlayer& sound;
        // Optional: a generator and the machine's clock are used by default.
        RandomSource* random = nullptr;
        TimeOfDaySource* timeOfDay = nullptr;
        // Resolved once, at start, to a full path (PathInCurrentFolder), so
        // that every read and save finds the same file.
        std::string configPath = "skyfault.cfg";
        // Optional: the machine's clocks are used by default.
        LogClock* logClock = nullptr;
        // The failure log (skyfault-log.csv), resolved as configPath is.
        std::string logPath = std::string(kFlightLogFileName);
    };

    explicit Engine(Dependencies dependencies);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const EngineState& state() const { return state_; }
    Timer& timer(TimerId id) { return *timers_[static_cast<int>(id)]; }
    const Timer& timer(TimerId id) const { return *timers_[static_cast<int>(id)]; }

    void SetChangedCallback(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }
    void SetQuitCallback(std::function<void()> onQuit) { onQuit_ = std::move(onQuit); }

    // --- Start-up and shutdown ---------------------------------------------
    // Fills the link's result-text table, opens the link, sets the title and
    // connectStatus; the first call loads the window from the configuration
    // file before the title is set.
    void Main();
    // Exit button and menu: saves, then unloads. When the file cannot be
    // saved the window stays, showing why (the close box still leaves).
    void btnExit_Click();
    void mnuFileExit_Click() { btnExit_Click(); }
    // Unloading (also the close box): closes the link, stops every timer and
    // ends the program through the quit callback, saving nothing.
    void Unload();

    // --- Main window commands ----------------------------------------------
    void cmdActivate_Click();
    void cmdDisable_Click();
    // The user ticks a check box (value 0 or 1).
    void SetAllowed(int systemId, int value);

    // --- Timer handlers (wired to the timers; public for the benchmarks) ---
    void tmrFailureEvent_Timer();
    void tmrCheckConnect_Timer();
    void tmrSynchronize_Timer() { CheckSimPause(); }
    void tmrEngineOut_Timer();
    void tmrFuelLeak_Timer();
    void tmrGearStuck_Timer();
    void tmrFlapsStuck_Timer();

    // --- Failure engine -----------------------------------------------------
    void FailSystem(std::int16_t systemId);
    void PlayNotificationSound(const std::string& fileName);
    void CheckSimPause();

    // --- Flight menu and Failure Log window ---------------------------------
    // Repair All Systems: every system that failed in this run is made
    // eligible again, its failure flag written back to 0 and its engine,
    // gear, flaps or leak let go; the limit's count starts again. A system
    // whose flag could not be written stays failed, and the status line says
    // why. Does nothing when no system has failed.
    void mnuFlightRepair_Click();
    // Some system failed in this run and is not repaired.
    bool AnyFailed() const;
    // The limit is set and that many failures happened since the start or
    // the last repair: no failure is chosen.
    bool LimitReached() const;
    // The Failure Log's foot, from the settings and eligibility in force.
    std::string FailureEstimate() const;
    // The "Stop after [N] failures" box: a whole number from 0 to
    // kMaxFailuresLimit is applied (and saved with the settings when it
    // changed); anything else is refused with a text for the user, and the
    // limit stays.
    std::optional<std::string> SetMaxFailures(std::string_view text);

    // --- For the dialogs ----------------------------------------------------
    // The settings and Preferences controls, to edit in place; call
    // NotifyChanged() afterwards.
    Settings& settings() { return state_.settings; }
    PreferencesControls& preferences() { return state_.preferences; }
    void NotifyChanged();
    // Replaces the status line's text; its colour stays.
    void SetStatusText(std::string text);
    // lblRate := FormatProbability(rateText).
    void SetRateLabel(std::string_view rateText);
    // checkInterval (lblInterval) := text; tmrFailureEvent's period := ms.
    void SetCheckInterval(std::string text, int periodMs);
    // fuelLeakSpeed := speed; tmrFuelLeak's period follows it.
    void SetFuelLeakSpeed(int speed);
    // pauseWithSim := value; tmrSynchronize runs exactly when it is 1.
    void SetPauseWithSim(int value);
    void ApplyDefaultRateToSystems(std::string_view rateText);
    // Rewrites the configuration file from the current state and closes the
    // sound player. On failure the old file stays as it was, the status line
    // shows why, and false is returned.
    bool WriteCFG();

private:
    void Form_Load();
    void ApplyConfig(const std::vector<ConfigEntry>& entries);
    void SetActivation(bool on);
    // A read of `size` bytes into a zeroed little-endian value; the result
    // of the exchange is not examined (a read that failed gives 0).
    std::uint32_t ReadValue(std::uint32_t offset, std::uint32_t size);
    // The same read, with nothing when it could not be queued or exchanged.
    std::optional<std::uint32_t> ReadAnswered(std::uint32_t offset, std::uint32_t size);
    // True when the write was exchanged.
    bool WriteValue(std::uint32_t offset, std::uint32_t size, std::uint32_t value);
    // False, with 11, once an exchange of this tick has timed out: a hung
    // server costs a tick one exchange's tries, not one per exchange.
    bool MayExchange(std::int32_t& result) const;
    // LinkProcess, and what its outcome says of the link: an answer clears a
    // link code from the status line, a server found gone loses the link.
    bool Process(std::int32_t& result);
    void LinkAnswered();
    void LinkLost();
    // Shows a link code (or a text made from one) in the status line, to be
    // replaced by the state line once the link answers again.
    void ShowLinkCode(std::string text);
    void ShowStateLine();
    std::string TitleError(std::int32_t result) const;
    void HoldControl(std::uint32_t offset, std::int32_t position);
    // One write and its exchange; the status line's text for a write that
    // did not go through ("Error in Write: 9"), nothing when it did.
    std::optional<std::string> WriteOrSay(std::uint32_t offset, std::uint32_t size,
                                          std::uint32_t value);
    // Adds the event to the Failure Log and to the log file; the text for the
    // status line when the file could not be written for the first time.
    std::string RecordEvent(FlightEventKind kind, int systemId);
    std::string LimitText() const;
    void MarkChanged() { changed_ = true; }
    // Tells the window about the changes made by the operation that just ended.
    void Flush() {
        if (changed_) {
            NotifyChanged();
        }
    }

    link::Link& link_;
    SoundPlayer& sound_;
    std::unique_ptr<RandomSource> ownRandom_;
    std::unique_ptr<TimeOfDaySource> ownTimeOfDay_;
    RandomSource* random_;
    TimeOfDaySource* timeOfDay_;
    std::string configPath_;
    std::unique_ptr<LogClock> ownLogClock_;
    LogClock* logClock_;
    std::string logPath_;
    // The steady count when the engine was made: the events' time since start.
    double startSeconds_ = 0;
    // The log file's first error was shown; later ones are not.
    bool logErrorShown_ = false;
    // What the check that chose the failure being carried out read.
    struct CheckReadings {
        double airspeed = 0;
        double outsideAirTemperature = 0;
        double groundAltitude = 0;
    };
    std::optional<CheckReadings> checkReadings_;
    std::array<std::unique_ptr<Timer>, kTimerCount> timers_;
    EngineState state_;
    std::function<void()> onChanged_;
    std::function<void()> onQuit_;
    bool changed_ = false;
    // The file at start existed but could not be used: the next save keeps it.
    bool keepUnread_ = false;
    // The save error the status line was given; cleared by a save that works.
    std::string saveErrorShown_;
    // The code of the pause check's last failure; none after a check that worked.
    std::optional<std::int32_t> pauseCheckFailure_;
    // The link code the status line shows, if it still shows one.
    std::optional<std::string> linkCodeShown_;
    // An exchange of the running tick has timed out.
    bool tickTimedOut_ = false;
};

}  // namespace skyfault::engine
