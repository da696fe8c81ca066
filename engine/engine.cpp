#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "link/byte_order.h"
#include "settings/config.h"
#include "settings/file_text.h"
#include "settings/text.h"

namespace skyfault::engine {

const std::array<FailureWrite, kSystemCount> FailureOffsetTable = {{
    {0x0B64, 1, 1},  // ADF
    {0x0B65, 1, 1},  // Airspeed Indicator
    {0x0B66, 1, 1},  // Altimeter
    {0x0B67, 1, 1},  // Attitude Indicator
    {0x0B68, 1, 1},  // COM radio
    {0x0B69, 1, 1},  // Compass
    {0x0B6A, 1, 1},  // Electrics
    {0x0B6B, 1, 1},  // Engine Gauge
    {0x0B6C, 1, 1},  // Fuel Indicators
    {0x0B6D, 1, 1},  // Heading Indicator
    {0x0B70, 1, 1},  // NAV radios
    {0x0B71, 1, 1},  // Pitot
    {0x0B6F, 1, 1},  // Transponder
    {0x0B72, 1, 1},  // Turn Coordinator
    {0x0B73, 1, 1},  // Vacuum
    {0x0B6E, 1, 1},  // Vertical Speed Indicator
    {0x0890, 2, 0},  // Engine 1 mixture
    {0x0928, 2, 0},  // Engine 2 mixture
    {0x09C0, 2, 0},  // Engine 3 mixture
    {0x0A58, 2, 0},  // Engine 4 mixture
    {0x0BE8, 4, 0},  // Landing Gear: the control's own value
    {0x0BAC, 1, 1},  // Left Tank
    {0x0BAC, 1, 1},  // Right Tank
    {0x0BAC, 1, 1},  // Center Tank
    {0x0BDC, 4, 0},  // Flaps: the control's own value
}};

namespace {

using system_id::kCenterTank;
using system_id::kEngine1;
using system_id::kEngine4;
using system_id::kFlaps;
using system_id::kLandingGear;
using system_id::kLeftTank;
constexpr std::int32_t kLeakStep = 65536;

// Field 1 of a comma list as the rate N; nothing when the text is not a
// number in full. Field 1 is read in place (what GetField(list, 1) gives,
// without a copy): every tick reads it for each allowed system.
std::optional<double> RateOf(const std::string& list) {
    const std::string_view text = list;
    return StrictNumber(text.substr(0, text.find(',')));
}

double FieldValue(const std::string& list, int field) {
    return TextValue(GetField(list, field));
}

bool Within(double value, double low, double high) {
    return low <= value && value <= high;
}

// The settings of a start without a file to read: the notifications follow
// their boxes, which the Preferences dialog shows ticked, so that failures
// are shown and heard from the first start on.
Settings StartingDefaults() {
    Settings settings = FirstStartSettings();
    settings.audioNotify = settings.audioBox != 0;
    settings.visualNotify = settings.textBox != 0;
    settings.fuelLeakSpeed = settings.fuelLeakOption;
    return settings;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

double OutsideAirTemperature(std::int16_t raw) {
    return static_cast<double>(raw) / 256.0;
}

double IndicatedAirspeed(std::int32_t raw) {
    return RoundHalfEven(static_cast<double>(raw) / 128.0);
}

double GroundAltitude(std::uint16_t raw) {
    // raw x 3.28, computed so that the result is the nearest double to the
    // exact decimal product (a bound typed as 22.96 then matches raw 7).
    return static_cast<double>(raw) * 328.0 / 100.0;
}

int DrawNextSystem(RandomSource& random, std::array<bool, kSystemCount>& examined) {
    for (;;) {
        const double r = random.Next();
        const int id =
            std::clamp(static_cast<int>(std::floor(kSystemCount * r)), 0, kSystemCount - 1);
        if (!examined[id]) {
            examined[id] = true;
            return id;
        }
    }
}

Engine::Engine(Dependencies dependencies)
    : link_(dependencies.link),
      sound_(dependencies.sound),
      random_(dependencies.random),
      timeOfDay_(dependencies.timeOfDay),
      configPath_(std::move(dependencies.configPath)),
      logClock_(dependencies.logClock),
      logPath_(std::move(dependencies.logPath)) {
    if (logClock_ == nullptr) {
        ownLogClock_ = std::make_unique<SystemLogClock>();
        logClock_ = ownLogClock_.get();
    }
    startSeconds_ = logClock_->SteadySeconds();
    if (random_ == nullptr) {
        ownRandom_ = std::make_unique<SeededRandom>();
        random_ = ownRandom_.get();
    }
    if (timeOfDay_ == nullptr) {
        ownTimeOfDay_ = std::make_unique<SystemTimeOfDay>();
        timeOfDay_ = ownTimeOfDay_.get();
    }
    // Each timer's starting period and its tick handler.
    struct TimerSetup {
        TimerId id;
        int periodMs;
        void (Engine::*handler)();
    };
    const TimerSetup setups[kTimerCount] = {
        {TimerId::FailureEvent, 60000, &Engine::tmrFailureEvent_Timer},
        {TimerId::CheckConnect, 5000, &Engine::tmrCheckConnect_Timer},
        {TimerId::Synchronize, 1000, &Engine::tmrSynchronize_Timer},
        {TimerId::EngineOut, 2000, &Engine::tmrEngineOut_Timer},
        {TimerId::FuelLeak, 3000, &Engine::tmrFuelLeak_Timer},
        {TimerId::GearStuck, 3000, &Engine::tmrGearStuck_Timer},
        {TimerId::FlapsStuck, 3000, &Engine::tmrFlapsStuck_Timer},
    };
    // Every timer starts switched off; the window's loading switches on the
    // check, connection and pause timers (Form_Load), a failure the others.
    for (const TimerSetup& d : setups) {
        auto& slot = timers_[static_cast<int>(d.id)];
        slot = dependencies.timers.CreateTimer();
        slot->SetInterval(d.periodMs);
        // Every tick starts with its own allowance of one time-out and ends
        // by telling the window what it changed (a title, a code gone).
        slot->SetCallback([this, handler = d.handler] {
            tickTimedOut_ = false;
            (this->*handler)();
            tickTimedOut_ = false;
            Flush();
        });
        slot->SetEnabled(false);
    }
}

Engine::~Engine() = default;

void Engine::NotifyChanged() {
    changed_ = false;
    if (onChanged_) {
        onChanged_();
    }
}

// --- Start-up and shutdown ---------------------------------------------------

void Engine::Main() {
    const auto& texts = link::ResultTexts();
    for (int code = 0; code < link::kResultCount; ++code) {
        state_.linkResultText[code] = std::string(texts[code]);
    }

    link_.LinkInitialize();
    std::int32_t result = 0;
    const bool opened = link_.LinkOpen(0, result);

    if (!state_.window.loaded) {
        Form_Load();  // runs while connectStatus is still false
    }

    if (opened) {
        state_.window.title = "Skyfault Connected";
        state_.window.connectStatus = true;
        LinkAnswered();
    } else {
        state_.window.title = TitleError(result);
        state_.window.connectStatus = false;
    }
    MarkChanged();
    Flush();
}

std::string Engine::TitleError(std::int32_t result) const {
    const std::string text = result >= 0 && result < link::kResultCount
                                 ? state_.linkResultText[result]
                                 : std::to_string(result);
    return "Skyfault Error: " + text;
}

void Engine::Form_Load() {
    state_.window.loaded = true;
    // The check, connection and pause timers start now, after the link's
    // open however long it took, so that each first tick is one full period
    // away; the configuration then switches them as it says.
    for (const TimerId id : {TimerId::FailureEvent, TimerId::CheckConnect, TimerId::Synchronize}) {
        timer(id).SetEnabled(true);
    }
    Settings& settings = state_.settings;
    std::fill(settings.soundFiles.begin(), settings.soundFiles.end(), std::string(kUndefinedSound));

    const LoadResult loaded = LoadConfigFile(configPath_);
    std::string unreadable = loaded.error;
    if (loaded.status == LoadResult::Status::Loaded) {
        // 8-bit text in the system's code page, held as UTF-8.
        const std::vector<ConfigEntry> entries = skyfault::ReadCFG(FileTextToUtf8(loaded.bytes));
        if (!entries.empty() || IsBlank(loaded.bytes)) {
            ApplyConfig(entries);
        } else {
            unreadable = "no line of it holds a setting";
        }
    }
    if (loaded.status != LoadResult::Status::Loaded || !unreadable.empty()) {
        // First start, or a file that cannot be used: the defaults, with the
        // leak speed the Preferences dialog shows.
        settings = StartingDefaults();
        timer(TimerId::FuelLeak).SetInterval(FuelLeakPeriod(settings.fuelLeakSpeed));
    }
    if (loaded.status != LoadResult::Status::Missing && !unreadable.empty()) {
        // Never replaced unseen: the first save keeps it under another name.
        keepUnread_ = true;
        state_.window.txtMessage.text =
            ReadErrorMessage(unreadable) + "." + std::string(kUnreadNotice);
    }
    // The pause check runs exactly while the Preferences box says so, also
    // when the file said nothing of it (a first start, an older file).
    timer(TimerId::Synchronize).SetEnabled(settings.pauseWithSim == 1);
    MarkChanged();
}

void Engine::ApplyConfig(const std::vector<ConfigEntry>& entries) {
    // Every entry goes into the settings in file order; the live state
    // (labels, timers, buttons) then follows the last entry of each kind,
    // once, however many lines the file repeats.
    constexpr std::size_t kinds = static_cast<std::size_t>(EntryKind::SystemStr) + 1;
    std::array<const ConfigEntry*, kinds> last{};
    for (const ConfigEntry& entry : entries) {
        ApplyEntry(state_.settings, entry);
        last[static_cast<std::size_t>(entry.kind)] = &entry;
    }
    const auto lastOf = [&last](EntryKind kind) { return last[static_cast<std::size_t>(kind)]; };
    if (const ConfigEntry* rate = lastOf(EntryKind::Rate)) {
        state_.window.lblRate = FormatProbability(rate->text);
    }
    if (const ConfigEntry* frequency = lastOf(EntryKind::Frequency)) {
        timer(TimerId::FailureEvent).SetInterval(frequency->periodMs);
        // The Preferences box shows the interval in use, so that its OK
        // does not bring back the starting 60.
        state_.preferences.txtInterval = frequency->text;
    }
    if (const ConfigEntry* activated = lastOf(EntryKind::Activated)) {
        SetActivation(activated->number != 0);
    }
    if (const ConfigEntry* speed = lastOf(EntryKind::FuelLeakSpeed)) {
        timer(TimerId::FuelLeak).SetInterval(speed->periodMs);
    }
    if (const ConfigEntry* sound = lastOf(EntryKind::DefaultSound)) {
        state_.preferences.txtDefaultSound = sound->text;
    }
}

void Engine::SetActivation(bool on) {
    MainWindowState& window = state_.window;
    window.cmdDisableEnabled = on;
    window.cmdActivateEnabled = !on;
    state_.settings.activated = on;
    timer(TimerId::FailureEvent).SetEnabled(on);
    if (on) {
        timer(TimerId::CheckConnect).SetEnabled(true);
        window.txtMessage.text = "Skyfault Activated";
    } else {
        timer(TimerId::CheckConnect).SetEnabled(false);
        window.txtMessage.text = "Skyfault Disabled";
    }
    MarkChanged();
}

void Engine::btnExit_Click() {
    if (WriteCFG()) {
        Unload();
    }
}

void Engine::Unload() {
    link_.LinkClose();
    for (auto& t : timers_) {
        t->SetEnabled(false);
    }
    if (onQuit_) {
        onQuit_();
    }
}

// --- Main window commands ----------------------------------------------------

void Engine::cmdActivate_Click() {
    timer(TimerId::FailureEvent).SetEnabled(true);
    timer(TimerId::CheckConnect).SetEnabled(true);
    state_.window.cmdActivateEnabled = false;
    state_.window.cmdDisableEnabled = true;
    state_.settings.activated = true;
    state_.window.txtMessage = {"Skyfault Activated", TextColour::Black};
    MarkChanged();
    Flush();
}

void Engine::cmdDisable_Click() {
    timer(TimerId::FailureEvent).SetEnabled(false);
    timer(TimerId::CheckConnect).SetEnabled(false);
    state_.window.cmdActivateEnabled = true;
    state_.window.cmdDisableEnabled = false;
    state_.settings.activated = false;
    state_.window.txtMessage = {"Skyfault Disabled", TextColour::Black};
    MarkChanged();
    Flush();
}

void Engine::SetAllowed(int systemId, int value) {
    if (systemId < 0 || systemId >= kSystemCount) {
        return;
    }
    state_.settings.allowed[systemId] = value;
    MarkChanged();
    Flush();
}

// --- Link exchanges ----------------------------------------------------------

std::uint32_t Engine::ReadValue(std::uint32_t offset, std::uint32_t size) {
    return ReadAnswered(offset, size).value_or(0);
}

std::optional<std::uint32_t> Engine::ReadAnswered(std::uint32_t offset, std::uint32_t size) {
    std::array<std::uint8_t, 4> bytes{};
    std::int32_t result = 0;
    if (!MayExchange(result) || !link_.LinkRead(offset, size, bytes.data(), result) ||
        !Process(result)) {
        return std::nullopt;
    }
    return link::GetLe32(bytes.data());
}

bool Engine::WriteValue(std::uint32_t offset, std::uint32_t size, std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    link::PutLe32(bytes.data(), value);
    std::int32_t result = 0;
    return MayExchange(result) && link_.LinkWrite(offset, size, bytes.data(), result) &&
           Process(result);
}

bool Engine::MayExchange(std::int32_t& result) const {
    if (tickTimedOut_) {
        result = link::kTimedOut;
        return false;
    }
    return true;
}

bool Engine::Process(std::int32_t& result) {
    if (link_.LinkProcess(result)) {
        LinkAnswered();
        return true;
    }
    tickTimedOut_ = tickTimedOut_ || result == link::kTimedOut;
    if (link_.ServerLost() && state_.window.connectStatus) {
        LinkLost();
    }
    return false;
}

void Engine::LinkAnswered() {
    if (linkCodeShown_ && state_.window.txtMessage.text == *linkCodeShown_) {
        ShowStateLine();
    }
    linkCodeShown_.reset();
}

// The server's window has gone (the simulator quit or crashed): the title
// says so as after a start without one, and the connection timer, which runs
// while failures are activated, looks for a server again.
void Engine::LinkLost() {
    state_.window.connectStatus = false;
    state_.window.title = TitleError(link::kNoServer);
    MarkChanged();
}

// What Activate and Disable show, for a message that is over.
void Engine::ShowStateLine() {
    state_.window.txtMessage = {
        state_.window.cmdDisableEnabled ? "Skyfault Activated" : "Skyfault Disabled",
        TextColour::Black};
    MarkChanged();
}

void Engine::ShowLinkCode(std::string text) {
    state_.window.txtMessage.text = text;
    linkCodeShown_ = std::move(text);
    MarkChanged();
}

// --- Failure check cycle -----------------------------------------------------

void Engine::tmrFailureEvent_Timer() {
    if (LimitReached()) {
        return;  // nothing is chosen until a repair
    }
    random_->Seed(timeOfDay_->SecondsSinceMidnight());
    std::array<bool, kSystemCount> examined{};
    for (int turn = 0; turn < kSystemCount; ++turn) {
        const int id = DrawNextSystem(*random_, examined);
        if (state_.settings.allowed[id] != 1 || !state_.window.chkFailureTypeEnabled[id]) {
            continue;
        }
        const std::string& list = state_.settings.systemStr[id];
        const std::optional<double> rate = RateOf(list);
        if (!rate) {
            continue;  // no usable rate: this system is not drawn for
        }
        const double r = random_->Next();
        if (std::floor(*rate * r) + 1 != 1) {
            continue;
        }
        // Each value starts from zero: a failed exchange leaves 0.
        const double oat = OutsideAirTemperature(
            static_cast<std::int16_t>(ReadValue(offsets::kOutsideAirTemperature, 2)));
        const double ias =
            IndicatedAirspeed(static_cast<std::int32_t>(ReadValue(offsets::kIndicatedAirspeed, 4)));
        const double altitude =
            GroundAltitude(static_cast<std::uint16_t>(ReadValue(offsets::kGroundAltitude, 2)));
        if (tickTimedOut_) {
            // The simulator does not answer: the failure due is not carried
            // out, and this tick asks nothing more of it.
            ShowLinkCode("Error in Process: " + std::to_string(link::kTimedOut));
            break;
        }
        if (Within(oat, FieldValue(list, 4), FieldValue(list, 5)) &&
            Within(ias, FieldValue(list, 2), FieldValue(list, 3)) &&
            Within(altitude, FieldValue(list, 6), FieldValue(list, 7))) {
            checkReadings_ = CheckReadings{ias, oat, altitude};
            FailSystem(static_cast<std::int16_t>(id));
            checkReadings_.reset();
            break;
        }
    }
    Flush();
}

// --- Failure actions ---------------------------------------------------------

void Engine::FailSystem(std::int16_t systemId) {
    const int id = systemId;
    if (id < 0 || id >= kSystemCount) {
        return;
    }
    const FailureWrite& write = FailureOffsetTable[id];
    std::uint32_t value = static_cast<std::uint32_t>(write.value);
    std::int32_t result = 0;
    // Nothing of a failure that did not go through remains: the status line
    // shows the link's code and the system stays eligible.
    const auto notCarriedOut = [this](const char* step, std::int32_t code) {
        ShowLinkCode(step + std::to_string(code));
        Flush();
    };
    if (!MayExchange(result)) {
        notCarriedOut("Error in Process: ", result);
        return;
    }

    // Gear and flaps are written back, and held, where they are: that
    // position must really have been read, or nothing is written.
    if (id == kLandingGear || id == kFlaps) {
        const std::uint32_t control =
            id == kLandingGear ? offsets::kGearControl : offsets::kFlapsControl;
        std::array<std::uint8_t, 4> held{};
        if (!link_.LinkRead(control, 4, held.data(), result)) {
            notCarriedOut("Error in Write: ", result);
            return;
        }
        if (!Process(result)) {
            notCarriedOut("Error in Process: ", result);
            return;
        }
        value = link::GetLe32(held.data());
    }

    std::array<std::uint8_t, 4> bytes{};
    link::PutLe32(bytes.data(), value);
    if (!link_.LinkWrite(write.offset, write.size, bytes.data(), result)) {
        notCarriedOut("Error in Write: ", result);
        return;
    }
    if (!Process(result)) {
        notCarriedOut("Error in Process: ", result);
        return;
    }

    // The failure went through: its continuing part starts now.
    ContinuingFailureState& continuing = state_.continuing;
    if (id == kLandingGear) {
        timer(TimerId::GearStuck).SetEnabled(true);
        continuing.stuckGearPosition = static_cast<std::int32_t>(value);
    } else if (id == kFlaps) {
        timer(TimerId::FlapsStuck).SetEnabled(true);
        continuing.stuckFlapsPosition = static_cast<std::int32_t>(value);
    } else if (id >= kEngine1 && id <= kEngine4) {
        timer(TimerId::EngineOut).SetEnabled(true);
        continuing.engineOut[id - kEngine1] = true;
    } else if (id >= kLeftTank && id <= kCenterTank) {
        timer(TimerId::FuelLeak).SetEnabled(true);
        continuing.tankLeak[id - kLeftTank] = true;
    }

    ++state_.flight.failuresCounted;
    // What the status line adds to the failure, or says alone when failures
    // are not shown.
    std::string notes;
    const auto note = [&notes](const std::string& text) {
        if (!text.empty()) {
            notes += (notes.empty() ? "" : ". ") + text;
        }
    };
    note(LimitReached() ? LimitText() : "");
    note(RecordEvent(FlightEventKind::Failure, id));
    if (state_.settings.visualNotify) {
        state_.window.txtMessage = {"Failure: " + std::string(Catalogue()[id].caption) +
                                        (notes.empty() ? "" : ". ") + notes,
                                    TextColour::Red};
        MarkChanged();
        NotifyChanged();  // shown at once, before the sound starts
    } else if (!notes.empty()) {
        state_.window.txtMessage = {notes, TextColour::Black};
        MarkChanged();
    }
    state_.window.chkFailureTypeEnabled[id] = false;
    MarkChanged();
    if (state_.settings.audioNotify) {
        const std::string& own = state_.settings.soundFiles[id];
        PlayNotificationSound(own == kUndefinedSound ? state_.settings.defaultSound : own);
    }
    Flush();
}

void Engine::PlayNotificationSound(const std::string& fileName) {
    sound_.Close();
    sound_.Open(fileName);
    sound_.Play();
}

// --- Continuing failures -----------------------------------------------------

void Engine::tmrEngineOut_Timer() {
    for (int engine = 0; engine < 4; ++engine) {
        if (state_.continuing.engineOut[engine]) {
            WriteValue(offsets::kMixture[engine], 2, 0);
        }
    }
}

void Engine::tmrFuelLeak_Timer() {
    auto& leaks = state_.continuing.tankLeak;
    for (int tank = 0; tank < 3; ++tank) {
        if (!leaks[tank]) {
            continue;
        }
        // A level that was not read is not taken for an empty tank: the
        // leak goes on at the next tick that reads.
        const std::optional<std::uint32_t> read = ReadAnswered(offsets::kTankLevel[tank], 4);
        if (!read) {
            continue;
        }
        const auto level = static_cast<std::int32_t>(*read);
        const bool empties = level < kLeakStep;
        const std::int32_t next = empties ? 0 : level - kLeakStep;
        // The leak ends once the tank has really been written empty.
        if (WriteValue(offsets::kTankLevel[tank], 4, static_cast<std::uint32_t>(next)) && empties) {
            leaks[tank] = false;
            MarkChanged();
        }
    }
    if (std::none_of(leaks.begin(), leaks.end(), [](bool leaking) { return leaking; })) {
        timer(TimerId::FuelLeak).SetEnabled(false);
    }
    Flush();
}

void Engine::HoldControl(std::uint32_t offset, std::int32_t position) {
    // A position that was not read is left alone until the next tick.
    const std::optional<std::uint32_t> current = ReadAnswered(offset, 4);
    if (current && static_cast<std::int32_t>(*current) != position) {
        WriteValue(offset, 4, static_cast<std::uint32_t>(position));
    }
}

void Engine::tmrGearStuck_Timer() {
    HoldControl(offsets::kGearControl, state_.continuing.stuckGearPosition);
}

void Engine::tmrFlapsStuck_Timer() {
    HoldControl(offsets::kFlapsControl, state_.continuing.stuckFlapsPosition);
}

// --- Link supervision --------------------------------------------------------

// While connected, looks (without an exchange) whether the server's window
// is still there; once it is not, or while not connected, opens the link
// again, finding the server by class as at the start.
void Engine::tmrCheckConnect_Timer() {
    if (state_.window.connectStatus) {
        if (link_.ServerPresent()) {
            return;
        }
        LinkLost();
    }
    Main();
}

void Engine::CheckSimPause() {
    std::array<std::uint8_t, 4> bytes{};
    std::int32_t result = 0;
    StatusLine& status = state_.window.txtMessage;
    if (!link_.LinkRead(offsets::kPause, 2, bytes.data(), result) || !Process(result)) {
        // The code is shown when it is new, not every second again: a
        // message put there since (a save that failed) stays readable.
        if (pauseCheckFailure_ != result) {
            pauseCheckFailure_ = result;
            ShowLinkCode(std::to_string(result));
        }
        Flush();
        return;
    }
    pauseCheckFailure_.reset();
    const int value = bytes[0] | bytes[1] << 8;
    if (value == 1) {
        timer(TimerId::FailureEvent).SetEnabled(false);
        state_.pausedBySim = true;
        status = {"Simulator Paused", TextColour::Black};
        MarkChanged();
    } else if (state_.pausedBySim) {
        state_.pausedBySim = false;
        if (state_.window.cmdDisableEnabled) {
            timer(TimerId::FailureEvent).SetEnabled(true);
        }
        status.text = "Simulator Active";
        MarkChanged();
    }
    Flush();
}

// --- For the dialogs ---------------------------------------------------------

void Engine::SetStatusText(std::string text) {
    state_.window.txtMessage.text = std::move(text);
    MarkChanged();
    Flush();
}

void Engine::SetRateLabel(std::string_view rateText) {
    state_.window.lblRate = FormatProbability(rateText);
    MarkChanged();
    Flush();
}

void Engine::SetCheckInterval(std::string text, int periodMs) {
    state_.settings.checkInterval = std::move(text);
    timer(TimerId::FailureEvent).SetInterval(periodMs);
    MarkChanged();
    Flush();
}

void Engine::SetFuelLeakSpeed(int speed) {
    state_.settings.fuelLeakSpeed = speed;
    timer(TimerId::FuelLeak).SetInterval(FuelLeakPeriod(speed));
    MarkChanged();
    Flush();
}

void Engine::SetPauseWithSim(int value) {
    state_.settings.pauseWithSim = value;
    timer(TimerId::Synchronize).SetEnabled(value == 1);
    MarkChanged();
    Flush();
}

void Engine::ApplyDefaultRateToSystems(std::string_view rateText) {
    state_.settings.ApplyDefaultRateToSystems(rateText);
    MarkChanged();
    Flush();
}

bool Engine::WriteCFG() {
    state_.settings.activated = !state_.window.cmdActivateEnabled;
    std::string kept;
    // The file holds 8-bit text in the system's code page.
    const std::string reason =
        SaveConfigFile(configPath_, Utf8ToFileText(skyfault::WriteCFG(state_.settings)),
                       keepUnread_ ? &kept : nullptr);
    std::string& status = state_.window.txtMessage.text;
    if (!reason.empty()) {
        status = SaveErrorMessage(reason);
        saveErrorShown_ = status;
        MarkChanged();
    } else {
        // The file found unusable at start is kept once (if it is still
        // there to keep).
        const bool keptNow = keepUnread_ && !kept.empty();
        keepUnread_ = false;
        if (keptNow) {
            status = KeptUnreadMessage(kept);
            MarkChanged();
        } else if (!saveErrorShown_.empty() && status == saveErrorShown_) {
            // The error shown is over: the status line says the state again.
            ShowStateLine();
        }
        saveErrorShown_.clear();
    }
    sound_.Close();
    Flush();
    return reason.empty();
}

// --- Flight menu and Failure Log window ----------------------------------------

std::optional<std::string> Engine::WriteOrSay(std::uint32_t offset, std::uint32_t size,
                                              std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    link::PutLe32(bytes.data(), value);
    std::int32_t result = 0;
    if (!MayExchange(result)) {
        return "Error in Process: " + std::to_string(result);
    }
    if (!link_.LinkWrite(offset, size, bytes.data(), result)) {
        return "Error in Write: " + std::to_string(result);
    }
    if (!Process(result)) {
        return "Error in Process: " + std::to_string(result);
    }
    return std::nullopt;
}

std::string Engine::RecordEvent(FlightEventKind kind, int systemId) {
    FlightEvent event;
    event.kind = kind;
    event.systemId = systemId;
    event.timeOfDay = logClock_->LocalSecondsSinceMidnight();
    event.sinceStart = logClock_->SteadySeconds() - startSeconds_;
    if (kind == FlightEventKind::Failure && checkReadings_) {
        event.airspeed = checkReadings_->airspeed;
        event.outsideAirTemperature = checkReadings_->outsideAirTemperature;
        event.groundAltitude = checkReadings_->groundAltitude;
    }
    std::vector<FlightEvent>& events = state_.flight.events;
    if (events.size() >= kMaxFlightEvents) {
        events.erase(events.begin());
    }
    events.push_back(event);
    MarkChanged();
    const std::string reason = AppendFlightLog(logPath_, event);
    if (reason.empty() || logErrorShown_) {
        return {};
    }
    logErrorShown_ = true;
    return "Cannot write " + std::string(kFlightLogFileName) + ": " + reason;
}

std::string Engine::LimitText() const {
    const int limit = state_.settings.maxFailures;
    return "Limit of " + std::to_string(limit) + (limit == 1 ? " failure" : " failures") +
           " reached";
}

void Engine::mnuFlightRepair_Click() {
    if (!AnyFailed()) {
        return;
    }
    // Like a tick, the repair waits for a hung server once at most.
    tickTimedOut_ = false;
    ContinuingFailureState& continuing = state_.continuing;
    std::optional<std::string> writeError;
    std::string logError;
    for (int id = 0; id < kSystemCount; ++id) {
        if (state_.window.chkFailureTypeEnabled[id]) {
            continue;
        }
        if (id < kEngine1) {
            // The instrument's own flag back to 0; a flag not written keeps
            // its system failed.
            const FailureWrite& flag = FailureOffsetTable[id];
            if (auto error = WriteOrSay(flag.offset, flag.size, 0)) {
                writeError = std::move(error);
                continue;
            }
        } else if (id <= kEngine4) {
            continuing.engineOut[id - kEngine1] = false;  // the mixture stays where it is
        } else if (id == kLandingGear) {
            timer(TimerId::GearStuck).SetEnabled(false);
        } else if (id == kFlaps) {
            timer(TimerId::FlapsStuck).SetEnabled(false);
        } else {
            continuing.tankLeak[id - kLeftTank] = false;  // the fuel lost stays lost
        }
        state_.window.chkFailureTypeEnabled[id] = true;
        if (std::string said = RecordEvent(FlightEventKind::Repair, id); !said.empty()) {
            logError = std::move(said);
        }
    }
    const auto none = [](const auto& flags) {
        return std::none_of(flags.begin(), flags.end(), [](bool on) { return on; });
    };
    if (none(continuing.engineOut)) {
        timer(TimerId::EngineOut).SetEnabled(false);
    }
    if (none(continuing.tankLeak)) {
        timer(TimerId::FuelLeak).SetEnabled(false);
    }
    state_.flight.failuresCounted = 0;
    const std::string logNote = logError.empty() ? "" : ". " + logError;
    if (writeError) {
        ShowLinkCode(*writeError + logNote);
    } else {
        state_.window.txtMessage = {"All systems repaired" + logNote, TextColour::Black};
    }
    tickTimedOut_ = false;
    MarkChanged();
    Flush();
}

bool Engine::AnyFailed() const {
    const auto& enabled = state_.window.chkFailureTypeEnabled;
    return std::find(enabled.begin(), enabled.end(), false) != enabled.end();
}

bool Engine::LimitReached() const {
    const int limit = state_.settings.maxFailures;
    return limit > 0 && state_.flight.failuresCounted >= limit;
}

std::string Engine::FailureEstimate() const {
    return FailureEstimateText(state_.settings, state_.window.chkFailureTypeEnabled,
                               timer(TimerId::FailureEvent).Interval());
}

std::optional<std::string> Engine::SetMaxFailures(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string_view digits =
        first == std::string_view::npos ? std::string_view{} : text.substr(first, last - first + 1);
    int limit = 0;
    for (const char c : digits) {
        limit = c >= '0' && c <= '9' ? std::min(limit * 10 + (c - '0'), kMaxFailuresLimit + 1) : -1;
        if (limit < 0) {
            break;
        }
    }
    if (digits.empty() || limit < 0 || limit > kMaxFailuresLimit) {
        return "Enter a whole number from 0 to " + std::to_string(kMaxFailuresLimit) + ".";
    }
    if (limit == state_.settings.maxFailures) {
        return std::nullopt;
    }
    state_.settings.maxFailures = limit;
    if (LimitReached()) {
        state_.window.txtMessage = {LimitText(), TextColour::Black};
    }
    MarkChanged();
    WriteCFG();  // a limit the pilot set is never lost; a failed save says why
    return std::nullopt;
}

}  // namespace skyfault::engine
