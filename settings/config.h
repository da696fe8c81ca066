#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/model.h"

namespace skyfault {

inline constexpr std::string_view kConfigFileName = "skyfault.cfg";

// Bounds that no file this program writes comes near: a larger file is not
// read at all, a longer line is skipped like any unusable line.
inline constexpr std::size_t kMaxConfigFileBytes = 16u << 20;
inline constexpr std::size_t kMaxConfigLineBytes = 32u << 10;

// What the dialogs accept, so that every line written reads back whole: a
// rate, an interval and each of a system's seven boxes hold at most
// kMaxEntryBytes, a sound path at most kMaxPathBytes.
inline constexpr std::size_t kMaxEntryBytes = 4096;
inline constexpr std::size_t kMaxPathBytes = kMaxConfigLineBytes - 64;
// The longest keys: "VerticalSpeedIndicatorStr=" and "SoundFile50=".
static_assert(26 + 7 * kMaxEntryBytes + 7 + 1 <= kMaxConfigLineBytes);
static_assert(12 + kMaxPathBytes <= kMaxConfigLineBytes);

// Cuts `text` to at most `bytes`, never inside a UTF-8 character; false when
// it was not longer.
bool CutToBytes(std::string& text, std::size_t bytes);

// How long a file held by another program (a virus scanner, a sync tool) is
// tried again at start before it counts as unreadable.
inline constexpr std::chrono::milliseconds kHeldFileWait{2000};

// What one recognised, applicable line of the configuration file asks for.
// Lines that match no key, or whose value cannot be applied, give no entry.
enum class EntryKind {
    Rate,                // text; periodMs unused
    Frequency,           // text; periodMs = value x 1000, rounded (1..65535)
    Activated,           // number: 0 = off, 1 = on
    AudioNotification,   // number: the box value (0, 1, 2); on = the value != 0
    VisualNotification,  // number: the box value (0, 1, 2); on = the value != 0
    FuelLeakSpeed,       // number: 0, 1, 2; periodMs = FuelLeakPeriod(number)
    PauseWithSim,        // number: the box value (0, 1, 2); sync runs only at 1
    MaxFailures,         // number: 0 (no limit) to 999; read in [General] only
    Allowed,             // index = SystemId; number: the box value (0, 1, 2)
    DefaultSound,        // text
    SoundFile,           // index = slot 0..50; text
    SystemStr,           // index = SystemId; text
};

// The fuel leak's period in milliseconds for a speed 0 (slow), 1 or 2
// (fast): 7000, 4000, 1000.
int FuelLeakPeriod(int fuelLeakSpeed);

struct ConfigEntry {
    EntryKind kind;
    int index = -1;
    std::string text;  // the value as it stands in the file
    int number = 0;
    int periodMs = 0;
    // Notifications: the value itself is not 0 (a value of 0.3 shows an
    // unchecked box, yet the notification is on).
    bool on = false;

    bool operator==(const ConfigEntry&) const = default;
};

// Reads the file's bytes into entries in file order. Lines may end in CR LF,
// LF or a lone CR; bytes are kept as they are. An entry's key ends at the
// first "=" of its line. Sections mean nothing to the keys of old, which
// count wherever they stand; MaxFailures counts only in [General].
std::vector<ConfigEntry> ReadCFG(std::string_view bytes);

// Applies one entry to the settings model (the data only; the live state of
// the window, such as timers and labels, is the caller's).
void ApplyEntry(Settings& settings, const ConfigEntry& entry);

// Reads the bytes into a model: every sound slot is first set to
// "Undefined", then each entry is applied in file order.
void ApplyConfig(Settings& settings, std::string_view bytes);

// The whole file as written from the model, with CR LF line ends.
std::string WriteCFG(const Settings& settings);

// Loading and saving the file itself. Only a regular file of at most
// kMaxConfigFileBytes is read, and opening it never waits; anything else (a
// folder, a FIFO, a device) is Unreadable. A file held by another program
// is tried again every 50 ms for up to `heldWait`. A file that starts with a
// byte-order mark (UTF-16 as Notepad saves "Unicode", or UTF-8) is given as
// the program's 8-bit text (NarrowText).
struct LoadResult {
    enum class Status { Loaded, Missing, Unreadable } status = Status::Missing;
    std::string bytes;
    std::string error;  // why the file could not be read
};
LoadResult LoadConfigFile(const std::string& path,
                          std::chrono::milliseconds heldWait = kHeldFileWait);

// The text of a file's bytes: without a byte-order mark the bytes as they
// are; after one, the UTF-8 or UTF-16 text as NarrowText gives it.
std::string TextOfFile(std::string_view bytes);

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and
// renames it over `path` (also over a read-only file). On POSIX systems,
// where `path` is a symbolic link the file it leads to is replaced and the
// link kept, the new file keeps the old one's permission bits, and anything
// but a regular file is never replaced. On failure the old file is left
// exactly as it was, the temporary file is removed, and the reason is
// returned, the system's reason first; an empty string means saved. With
// `keptOldAs`, an old file is first kept beside the new one under a name not
// yet taken (`path` + ".unread", then ".unread2" ...), which is put there;
// it stays empty when there was no old file. The temporary files that
// killed saves left beside `path` are removed.
std::string SaveConfigFile(const std::string& path, std::string_view bytes,
                           std::string* keptOldAs = nullptr);

// Status line texts for a file that could not be read or saved, and for an
// unreadable file kept under another name.
std::string ReadErrorMessage(const std::string& reason);
std::string SaveErrorMessage(const std::string& reason);
std::string KeptUnreadMessage(const std::string& keptPath);
inline constexpr std::string_view kUnreadNotice =
    " It is kept as skyfault.cfg.unread at the next save.";

}  // namespace skyfault
