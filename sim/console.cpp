#include "sim/console.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace skyfault::sim {

namespace {

// How a named value is kept in the offset space.
enum class Encoding {
    kRaw,     // the raw integer
    kScaled,  // value * scale, rounded
};

struct NamedValue {
    std::string_view name;
    std::uint32_t offset;
    std::uint32_t size;  // 2 or 4
    bool isSigned;
    Encoding encoding;
    double scale;
    double min;
    double max;
    std::string_view unit;
};

constexpr double kTankScale = 128.0 * 65536.0;

constexpr std::array<NamedValue, 9> kNames{{
    {"pause", offsets::kPause, 2, false, Encoding::kRaw, 1, 0, 65535, "0 running, 1 paused"},
    {"ias", offsets::kIndicatedAirspeed, 4, true, Encoding::kScaled, 128, -16777216.0, 16777215.0,
     "knots"},
    {"oat", offsets::kOutsideAirTemperature, 2, true, Encoding::kScaled, 256, -128.0,
     32767.0 / 256.0, "degrees C"},
    {"ground", offsets::kGroundAltitude, 2, false, Encoding::kRaw, 1, 0, 65535, "metres"},
    {"tank-left", offsets::kLeftTank, 4, false, Encoding::kScaled, kTankScale, 0, 100, "percent"},
    {"tank-right", offsets::kRightTank, 4, false, Encoding::kScaled, kTankScale, 0, 100, "percent"},
    {"tank-center", offsets::kCentreTank, 4, false, Encoding::kScaled, kTankScale, 0, 100,
     "percent"},
    {"gear", offsets::kGear, 4, true, Encoding::kRaw, 1, -2147483648.0, 2147483647.0,
     "raw, 0 up, 16383 down"},
    {"flaps", offsets::kFlaps, 4, true, Encoding::kRaw, 1, -2147483648.0, 2147483647.0,
     "raw, 0 up, 16383 full"},
}};

const NamedValue* FindName(std::string_view name) {
    for (const NamedValue& v : kNames) {
        if (v.name == name) {
            return &v;
        }
    }
    return nullptr;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

bool ParseReal(std::string_view text, double& value) {
    const std::string s(text);
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end != s.c_str() + s.size() || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

std::string Hex(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    std::string out;
    char buf[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        out += buf;
    }
    return out;
}

// Shortest decimal text that reads back as the value (at most 6 decimals).
std::string Decimal(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", value);
    std::string s(buf);
    while (!s.empty() && s.back() == '0') {
        s.pop_back();
    }
    if (!s.empty() && s.back() == '.') {
        s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::int64_t ReadRaw(const OffsetSpace& space, const NamedValue& v) {
    if (v.size == 2) {
        const std::uint16_t raw = space.ReadU16(v.offset);
        return v.isSigned ? static_cast<std::int16_t>(raw) : raw;
    }
    const std::uint32_t raw = space.ReadU32(v.offset);
    return v.isSigned ? static_cast<std::int32_t>(raw) : static_cast<std::int64_t>(raw);
}

CommandOutcome Error(std::string text) {
    CommandOutcome outcome;
    outcome.error = std::move(text);
    return outcome;
}

CommandOutcome Output(std::string text) {
    CommandOutcome outcome;
    outcome.output = std::move(text);
    return outcome;
}

std::string KnownNames() {
    std::string names;
    for (const NamedValue& v : kNames) {
        names += names.empty() ? "" : ", ";
        names += v.name;
    }
    return names;
}

CommandOutcome Get(const std::vector<std::string_view>& words, const OffsetSpace& space) {
    if (words.size() != 2) {
        return Error("usage: get NAME");
    }
    const NamedValue* v = FindName(words[1]);
    if (v == nullptr) {
        return Error("unknown name '" + std::string(words[1]) + "' (known: " + KnownNames() + ")");
    }
    const double value = static_cast<double>(ReadRaw(space, *v)) / v->scale;
    return Output(std::string(v->name) + " " + Decimal(value));
}

CommandOutcome Set(const std::vector<std::string_view>& words, OffsetSpace& space) {
    if (words.size() != 3) {
        return Error("usage: set NAME VALUE");
    }
    const NamedValue* v = FindName(words[1]);
    if (v == nullptr) {
        return Error("unknown name '" + std::string(words[1]) + "' (known: " + KnownNames() + ")");
    }
    double value = 0;
    std::int64_t integer = 0;
    if (v->encoding == Encoding::kRaw) {
        if (!ParseInteger(words[2], integer)) {
            return Error("set " + std::string(v->name) + ": '" + std::string(words[2]) +
                         "' is not a whole number");
        }
        value = static_cast<double>(integer);
    } else if (!ParseReal(words[2], value)) {
        return Error("set " + std::string(v->name) + ": '" + std::string(words[2]) +
                     "' is not a number");
    }
    if (value < v->min || value > v->max) {
        return Error("set " + std::string(v->name) + ": " + std::string(words[2]) +
                     " is out of range " + Decimal(v->min) + ".." + Decimal(v->max) + " (" +
                     std::string(v->unit) + ")");
    }
    const auto raw = static_cast<std::int64_t>(std::llround(value * v->scale));
    if (v->size == 2) {
        space.WriteU16(v->offset, static_cast<std::uint16_t>(raw));
    } else {
        space.WriteU32(v->offset, static_cast<std::uint32_t>(raw));
    }
    return {};
}

bool ParseOffsetAndSize(std::string_view offsetText, std::string_view sizeText,
                        std::uint32_t maxSize, std::uint32_t& offset, std::uint32_t& size,
                        std::string& error) {
    std::int64_t o = 0;
    std::int64_t s = 0;
    if (!ParseInteger(offsetText, o) || o < 0 || o > 0xFFFF) {
        error = "offset '" + std::string(offsetText) + "' is not in 0..0xFFFF";
        return false;
    }
    if (!ParseInteger(sizeText, s) || s < 1 || s > static_cast<std::int64_t>(maxSize)) {
        error = "size '" + std::string(sizeText) + "' is not in 1.." + std::to_string(maxSize);
        return false;
    }
    if (o + s > 0x10000) {
        error = "offset + size runs past 0xFFFF";
        return false;
    }
    offset = static_cast<std::uint32_t>(o);
    size = static_cast<std::uint32_t>(s);
    return true;
}

CommandOutcome Poke(const std::vector<std::string_view>& words, OffsetSpace& space) {
    if (words.size() != 4) {
        return Error("usage: poke OFFSET SIZE VALUE (SIZE 1..8)");
    }
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::string error;
    if (!ParseOffsetAndSize(words[1], words[2], 8, offset, size, error)) {
        return Error("poke: " + error);
    }
    std::int64_t value = 0;
    if (!ParseInteger(words[3], value)) {
        return Error("poke: '" + std::string(words[3]) + "' is not a whole number");
    }
    if (size < 8) {
        const std::int64_t limit = std::int64_t{1} << (8 * size);
        if (value >= limit || value < -(limit / 2)) {
            return Error("poke: " + std::string(words[3]) + " does not fit in " +
                         std::to_string(size) + " byte(s)");
        }
    }
    std::uint8_t bytes[8];
    auto u = static_cast<std::uint64_t>(value);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(u >> (8 * i));
    }
    space.Write(offset, bytes, size);
    return {};
}

CommandOutcome Peek(const std::vector<std::string_view>& words, const OffsetSpace& space) {
    if (words.size() != 3) {
        return Error("usage: peek OFFSET SIZE (SIZE 1..256)");
    }
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::string error;
    if (!ParseOffsetAndSize(words[1], words[2], 256, offset, size, error)) {
        return Error("peek: " + error);
    }
    std::vector<std::uint8_t> bytes(size);
    space.Read(offset, bytes.data(), size);
    std::string line = "peek " + Hex(offset, 4) + " " + std::to_string(size) + " " +
                       HexBytes(bytes.data(), bytes.size());
    if (size <= 8) {
        std::uint64_t value = 0;
        for (std::uint32_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
        }
        line += ' ';
        line += std::to_string(value);
    }
    return Output(line);
}

}  // namespace

bool ParseInteger(std::string_view text, std::int64_t& value) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    std::uint64_t magnitude = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        if (magnitude > (std::uint64_t{1} << 62) / static_cast<std::uint64_t>(base)) {
            return false;  // far beyond anything an offset can hold
        }
        magnitude =
            magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    if (magnitude > (std::uint64_t{1} << 62)) {
        return false;
    }
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

std::string FormatWrite(const WriteRecord& write) {
    return "write " + Hex(write.offset, 4) + " " + std::to_string(write.data.size()) + " " +
           HexBytes(write.data.data(), write.data.size());
}

std::string CommandHelp() {
    std::string help =
        "Commands (one a line on standard input):\n"
        "  set NAME VALUE          set a named value\n"
        "  get NAME                print 'NAME VALUE'\n"
        "  poke OFFSET SIZE VALUE  write VALUE (whole number, little-endian) in SIZE 1..8 bytes\n"
        "  peek OFFSET SIZE        print 'peek OFFSET SIZE HEXBYTES [VALUE]' (SIZE 1..256)\n"
        "  help                    this list\n"
        "  quit                    stop serving and end\n"
        "  OFFSET and numbers: decimal or hexadecimal with 0x.\n"
        "Names:\n";
    for (const NamedValue& v : kNames) {
        std::string name(v.name);
        name.resize(13, ' ');
        help += "  " + name + Hex(v.offset, 4) + ", " + std::to_string(v.size) + " bytes, " +
                std::string(v.unit) + "\n";
    }
    return help;
}

CommandOutcome RunCommand(std::string_view line, OffsetSpace& space) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') {
        return {};
    }
    const std::string_view command = words[0];
    if (command == "set") {
        return Set(words, space);
    }
    if (command == "get") {
        return Get(words, space);
    }
    if (command == "poke") {
        return Poke(words, space);
    }
    if (command == "peek") {
        return Peek(words, space);
    }
    if (command == "help") {
        std::string help = CommandHelp();
        help.pop_back();
        return Output(help);
    }
    if (command == "quit" || command == "exit") {
        if (words.size() != 1) {
            return Error("usage: quit");
        }
        CommandOutcome outcome;
        outcome.quit = true;
        return outcome;
    }
    return Error("unknown command '" + std::string(command) +
                 "' (commands: set, get, poke, peek, help, quit)");
}

}  // namespace skyfault::sim
