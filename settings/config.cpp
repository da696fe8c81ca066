#include "settings/config.h"

#include <cmath>
#include <optional>

#include "settings/catalogue.h"
#include "settings/regular_file.h"
#include "settings/text.h"

namespace skyfault {
namespace {

constexpr std::string_view kSoundFilePrefix = "SoundFile";
constexpr std::string_view kSystemStrSuffix = "Str";

// The value rounded half to even as an int, when it lies in [low, high].
std::optional<int> RoundedIn(double value, int low, int high) {
    const double rounded = RoundHalfEven(value);
    if (!(rounded >= low && rounded <= high)) {  // also false for NaN
        return std::nullopt;
    }
    return static_cast<int>(rounded);
}

// A check box value: the leading number rounded, 0, 1 or 2 (2 = greyed).
std::optional<int> BoxValue(double value) {
    return RoundedIn(value, 0, 2);
}

std::optional<int> SystemOfKey(std::string_view key) {
    const auto& catalogue = Catalogue();
    for (int id = 0; id < kSystemCount; ++id) {
        if (ConfigKey(catalogue[static_cast<std::size_t>(id)].caption) == key) {
            return id;
        }
    }
    return std::nullopt;
}

// The slot of a "SoundFile" key: the value of the rest of the key, rounded,
// naming 0..50; a rest without a leading number names nothing.
std::optional<int> SoundSlot(std::string_view rest) {
    if (const auto number = LeadingNumber(rest)) {
        return RoundedIn(*number, 0, kSlotCount - 1);
    }
    return std::nullopt;
}

// Handles one key/value pair; appends at most what the line asks for.
void ReadEntry(std::string_view key, std::string_view value, std::vector<ConfigEntry>& entries) {
    ConfigEntry entry{EntryKind::Rate, -1, std::string(value), 0, 0};
    auto add = [&](EntryKind kind) {
        entry.kind = kind;
        entries.push_back(entry);
    };
    if (key == "Rate") {
        const double rate = TextValue(value);
        if (rate != 0.0 && std::isfinite(1.0 / rate)) {
            add(EntryKind::Rate);
        }
        return;
    }
    if (key == "Frequency") {
        if (const auto period = RoundedIn(TextValue(value) * 1000.0, 1, 65535)) {
            entry.periodMs = *period;
            add(EntryKind::Frequency);
        }
        return;
    }
    if (key == "Activated") {
        if (const auto number = LeadingNumber(value)) {
            entry.number = *number == 0.0 ? 0 : 1;
            add(EntryKind::Activated);
        }
        return;
    }
    const std::pair<std::string_view, EntryKind> boxes[] = {
        {"AudioNotification", EntryKind::AudioNotification},
        {"VisualNotification", EntryKind::VisualNotification},
    };
    for (const auto& [boxKey, kind] : boxes) {
        if (key == boxKey) {
            if (const auto number = LeadingNumber(value)) {
                if (const auto box = BoxValue(*number)) {
                    entry.number = *box;
                    entry.on = *number != 0.0;
                    add(kind);
                }
            }
            return;
        }
    }
    if (key == "FuelLeakSpeed") {
        if (const auto speed = RoundedIn(TextValue(value), 0, 2)) {
            entry.number = *speed;
            entry.periodMs = FuelLeakPeriod(*speed);
            add(EntryKind::FuelLeakSpeed);
        }
        return;
    }
    if (key == "PauseWithSim") {
        if (const auto number = LeadingNumber(value)) {
            if (const auto box = BoxValue(*number)) {
                entry.number = *box;
                add(EntryKind::PauseWithSim);
            }
        }
        return;
    }
    if (const auto id = SystemOfKey(key)) {
        if (const auto box = BoxValue(TextValue(value))) {
            entry.index = *id;
            entry.number = *box;
            add(EntryKind::Allowed);
        }
        return;
    }
    if (key == "DefaultSound") {
        add(EntryKind::DefaultSound);
        return;
    }
    // No exact key: the two patterns, each tested on its own.
    if (key.starts_with(kSoundFilePrefix)) {
        if (const auto slot = SoundSlot(key.substr(kSoundFilePrefix.size()))) {
            entry.index = *slot;
            add(EntryKind::SoundFile);
        }
    }
    if (key.ends_with(kSystemStrSuffix)) {
        if (const auto id = SystemOfKey(key.substr(0, key.size() - kSystemStrSuffix.size()))) {
            entry.index = *id;
            add(EntryKind::SystemStr);
        }
    }
}

// A value as it goes into one line of the file: line breaks inside it would
// start lines of their own, so they are left out.
std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            line.push_back(c);
        }
    }
    return line;
}

}  // namespace

int FuelLeakPeriod(int fuelLeakSpeed) {
    return (7 - 3 * fuelLeakSpeed) * 1000;
}

std::vector<ConfigEntry> ReadCFG(std::string_view bytes) {
    std::vector<ConfigEntry> entries;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
        }
        const std::string_view line = bytes.substr(start, end - start);
        start = end;
        if (start < bytes.size()) {
            start += (bytes[start] == '\r' && start + 1 < bytes.size() && bytes[start + 1] == '\n')
                         ? 2
                         : 1;
        }
        // No key holds "=": a value may (a path such as C:\a=b.wav).
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || line.size() > kMaxConfigLineBytes) {
            continue;
        }
        ReadEntry(line.substr(0, equals), line.substr(equals + 1), entries);
    }
    return entries;
}

void ApplyEntry(Settings& settings, const ConfigEntry& entry) {
    const bool systemIndex = entry.index >= 0 && entry.index < kSystemCount;
    const bool slotIndex = entry.index >= 0 && entry.index < kSlotCount;
    switch (entry.kind) {
        case EntryKind::Rate:
            settings.rateDenominator = entry.text;
            break;
        case EntryKind::Frequency:
            settings.checkInterval = entry.text;
            break;
        case EntryKind::Activated:
            settings.activated = entry.number != 0;
            break;
        case EntryKind::AudioNotification:
            settings.audioBox = entry.number;
            settings.audioNotify = entry.on;
            break;
        case EntryKind::VisualNotification:
            settings.textBox = entry.number;
            settings.visualNotify = entry.on;
            break;
        case EntryKind::FuelLeakSpeed:
            settings.fuelLeakSpeed = entry.number;
            settings.fuelLeakOption = entry.number;
            break;
        case EntryKind::PauseWithSim:
            settings.pauseWithSim = entry.number;
            break;
        case EntryKind::Allowed:
            if (systemIndex) {
                settings.allowed[static_cast<std::size_t>(entry.index)] = entry.number;
            }
            break;
        case EntryKind::DefaultSound:
            settings.defaultSound = entry.text;
            break;
        case EntryKind::SoundFile:
            if (slotIndex) {
                settings.soundFiles[static_cast<std::size_t>(entry.index)] = entry.text;
            }
            break;
        case EntryKind::SystemStr:
            if (systemIndex) {
                settings.systemStr[static_cast<std::size_t>(entry.index)] = entry.text;
            }
            break;
    }
}

void ApplyConfig(Settings& settings, std::string_view bytes) {
    settings.soundFiles.fill(std::string(kUndefinedSound));
    for (const auto& entry : ReadCFG(bytes)) {
        ApplyEntry(settings, entry);
    }
}

std::string WriteCFG(const Settings& settings) {
    std::string out;
    auto line = [&out](std::string_view key, std::string_view value) {
        out += key;
        out += OneLine(value);
        out += "\r\n";
    };
    const auto& catalogue = Catalogue();

    line("[General]", "");
    line("Rate=", settings.rateDenominator);
    line("Frequency=", settings.checkInterval);
    line("Activated=", settings.activated ? "1" : "0");
    line("AudioNotification=", settings.audioNotify ? "1" : "0");
    line("VisualNotification=", settings.visualNotify ? "1" : "0");
    line("FuelLeakSpeed=", std::to_string(settings.fuelLeakSpeed));
    line("PauseWithSim=", std::to_string(settings.pauseWithSim));
    line("", "");

    line("[Failures]", "");
    for (int id = 0; id < kSystemCount; ++id) {
        const auto i = static_cast<std::size_t>(id);
        line(ConfigKey(catalogue[i].caption) + "=", std::to_string(settings.allowed[i]));
    }
    line("", "");

    line("[Sounds]", "");
    line("DefaultSound=", settings.defaultSound);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto& sound = settings.soundFiles[static_cast<std::size_t>(slot)];
        if (sound != kUndefinedSound && sound != settings.defaultSound) {
            line(std::string(kSoundFilePrefix) + std::to_string(slot) + "=", sound);
        }
    }
    line("", "");

    line("[Systems]", "");
    for (int id = 0; id < kSystemCount; ++id) {
        const auto i = static_cast<std::size_t>(id);
        line(ConfigKey(catalogue[i].caption) + std::string(kSystemStrSuffix) + "=",
             settings.systemStr[i]);
    }
    return out;
}

LoadResult LoadConfigFile(const std::string& path) {
    LoadResult result;
    RegularFile file(path);
    switch (file.status()) {
        case RegularFile::Status::Open:
            break;
        case RegularFile::Status::Missing:
            result.status = LoadResult::Status::Missing;
            return result;
        case RegularFile::Status::NotRegular:
        case RegularFile::Status::Failed:
            result.status = LoadResult::Status::Unreadable;
            result.error = file.error();
            return result;
    }
    result.status = LoadResult::Status::Unreadable;
    const std::string tooLarge = "the file is larger than 16 MB";
    if (file.size() > kMaxConfigFileBytes) {
        result.error = tooLarge;
        return result;
    }
    std::string bytes;
    // One byte more than allowed tells a file that grew since it was opened.
    if (!file.Read(kMaxConfigFileBytes + 1, bytes)) {
        result.error = file.error();
        return result;
    }
    if (bytes.size() > kMaxConfigFileBytes) {
        result.error = tooLarge;
        return result;
    }
    result.status = LoadResult::Status::Loaded;
    result.bytes = std::move(bytes);
    return result;
}

std::string ReadErrorMessage(const std::string& reason) {
    return "Could not read skyfault.cfg: " + reason;
}

std::string SaveErrorMessage(const std::string& reason) {
    return "Could not save skyfault.cfg: " + reason;
}

}  // namespace skyfault
