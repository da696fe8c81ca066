#include "settings/config.h"

#include <cmath>
#include <optional>
#include <thread>

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
void ReadEntry(std::string_view key, std::string_view value, bool inGeneral,
               std::vector<ConfigEntry>& entries) {
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
    if (key == "MaxFailures" && inGeneral) {
        // A whole number written plainly; anything else is left alone.
        const auto number = StrictNumber(value);
        if (number && *number >= 0 && *number <= kMaxFailuresLimit &&
            *number == std::floor(*number)) {
            entry.number = static_cast<int>(*number);
            add(EntryKind::MaxFailures);
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
    bool inGeneral = false;
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
        if (equals == std::string_view::npos && line.starts_with('[')) {
            inGeneral = line == "[General]";
        }
        if (equals == std::string_view::npos || line.size() > kMaxConfigLineBytes) {
            continue;
        }
        ReadEntry(line.substr(0, equals), line.substr(equals + 1), inGeneral, entries);
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
        case EntryKind::MaxFailures:
            settings.maxFailures = entry.number;
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
    if (settings.maxFailures != 0) {
        line("MaxFailures=", std::to_string(settings.maxFailures));
    }
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

bool CutToBytes(std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return false;
    }
    std::size_t end = bytes;
    // Back to the first byte of a UTF-8 character (at most three steps).
    for (int step = 0;
         step < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++step) {
        --end;
    }
    text.resize(end);
    return true;
}

std::string TextOfFile(std::string_view bytes) {
    const auto starts = [&](std::string_view mark) { return bytes.starts_with(mark); };
    std::u16string text;
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        text.reserve(bytes.size() / 2);
        for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
            const auto first = static_cast<unsigned char>(bytes[at]);
            const auto second = static_cast<unsigned char>(bytes[at + 1]);
            text.push_back(
                static_cast<char16_t>(little ? first | second << 8 : first << 8 | second));
        }
        return NarrowText(text);
    }
    if (!starts("\xEF\xBB\xBF")) {
        return std::string(bytes);
    }
    // UTF-8 into UTF-16; a byte that starts no character becomes U+FFFD.
    text.reserve(bytes.size());
    for (std::size_t at = 3; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const int more = lead < 0x80    ? 0
                         : lead >= 0xF0 ? 3
                         : lead >= 0xE0 ? 2
                         : lead >= 0xC0 ? 1
                                        : -1;
        char32_t c = more == 0   ? lead
                     : more == 1 ? lead & 0x1F
                     : more == 2 ? lead & 0x0F
                                 : lead & 0x07;
        bool whole = more >= 0 && lead < 0xF8 && at + static_cast<std::size_t>(more) < bytes.size();
        for (int i = 1; whole && i <= more; ++i) {
            const auto next = static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!whole || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            text.push_back(u'\uFFFD');
            ++at;
            continue;
        }
        at += static_cast<std::size_t>(more) + 1;
        if (c >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return NarrowText(text);
}

namespace {

// One try at reading the file; `held` is set when another program held it.
LoadResult LoadOnce(const std::string& path, bool& held) {
    LoadResult result;
    RegularFile file(path);
    held = file.status() == RegularFile::Status::Busy;
    switch (file.status()) {
        case RegularFile::Status::Open:
            break;
        case RegularFile::Status::Missing:
            result.status = LoadResult::Status::Missing;
            return result;
        case RegularFile::Status::Busy:
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
        held = file.readLocked();
        result.error = file.error();
        return result;
    }
    if (bytes.size() > kMaxConfigFileBytes) {
        result.error = tooLarge;
        return result;
    }
    result.status = LoadResult::Status::Loaded;
    result.bytes = TextOfFile(bytes);
    return result;
}

}  // namespace

LoadResult LoadConfigFile(const std::string& path, std::chrono::milliseconds heldWait) {
    const auto until = std::chrono::steady_clock::now() + heldWait;
    for (;;) {
        bool held = false;
        LoadResult result = LoadOnce(path, held);
        if (!held || std::chrono::steady_clock::now() >= until) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string ReadErrorMessage(const std::string& reason) {
    return "Could not read skyfault.cfg: " + reason;
}

std::string SaveErrorMessage(const std::string& reason) {
    return "Could not save skyfault.cfg: " + reason;
}

std::string KeptUnreadMessage(const std::string& keptPath) {
    const auto slash = keptPath.find_last_of("/\\");
    return "Saved. The skyfault.cfg that could not be read is kept as " +
           keptPath.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
}

}  // namespace skyfault
