// skyfault-linkcheck: opens the link against whatever server is there, shows
// the outcome and the server's versions, and reads or writes offsets given on
// the command line in one exchange. Exit status: the last result code, or 64
// for a command line it cannot use.

#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/result.h"
#include "link/transport.h"

namespace {

using skyfault::link::Link;

constexpr int kUsageError = 64;  // the conventional "command line usage error"
constexpr std::uint32_t kMaxReadSize = 32768;

constexpr std::string_view kUsage =
    "Usage: skyfault-linkcheck [OPERATION...]\n"
    "       skyfault-linkcheck --help   (also -h, and /? as Windows programs take it)\n"
    "\n"
    "Opens the link to FSUIPC, WideClient or the simulator stand-in and prints\n"
    "the result code with its text, the server's version and the simulator code.\n"
    "Operations that follow are queued and exchanged together, in order:\n"
    "\n"
    "  read OFFSET SIZE         read SIZE bytes (1..32768) at OFFSET\n"
    "  write OFFSET SIZE VALUE  write VALUE as a little-endian integer of SIZE\n"
    "                           bytes (1..8); VALUE may be negative\n"
    "\n"
    "Numbers are decimal, or hexadecimal with 0x. Example:\n"
    "  skyfault-linkcheck read 0x02BC 4 write 0x0B71 1 1\n"
    "\n"
    "Exit status: the last result code (0 when all went well, 2 when no server\n"
    "was found, ...), or 64 when the command line cannot be used.\n";

struct Operation {
    bool write = false;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint64_t value = 0;         // writes: the bytes to write, little-endian
    std::vector<std::uint8_t> data;  // reads: where the value lands
};

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// A value for `size` bytes: unsigned up to 2^(8 size) - 1, or negative down
// to -2^(8 size - 1), kept as two's complement.
bool ParseValue(std::string_view text, std::uint32_t size, std::uint64_t& value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    if (!ParseUnsigned(text, magnitude)) {
        return false;
    }
    const unsigned bits = 8 * size;
    if (negative) {
        const std::uint64_t limit = std::uint64_t{1} << (bits - 1);
        if (magnitude > limit) {
            return false;
        }
        value = ~magnitude + 1;
        if (bits < 64) {
            value &= (std::uint64_t{1} << bits) - 1;
        }
    } else {
        if (bits < 64 && magnitude >> bits != 0) {
            return false;
        }
        value = magnitude;
    }
    return true;
}

// Fills `operations` from the arguments, or returns the reason they cannot be used.
std::string ParseArguments(const std::vector<std::string_view>& args,
                           std::vector<Operation>& operations) {
    std::size_t i = 0;
    while (i < args.size()) {
        const std::string_view verb = args[i];
        if (verb != "read" && verb != "write") {
            return "unknown operation '" + std::string(verb) + "' (expected read or write)";
        }
        Operation op;
        op.write = verb == "write";
        const std::size_t needed = op.write ? 3 : 2;
        if (args.size() - i - 1 < needed) {
            return std::string(verb) + " needs " + (op.write ? "OFFSET SIZE VALUE" : "OFFSET SIZE");
        }
        std::uint64_t number = 0;
        if (!ParseUnsigned(args[i + 1], number) || number > 0xFFFFFFFFu) {
            return "bad offset '" + std::string(args[i + 1]) + "' (a 32-bit number)";
        }
        op.offset = static_cast<std::uint32_t>(number);
        const std::uint64_t maxSize = op.write ? 8 : kMaxReadSize;
        if (!ParseUnsigned(args[i + 2], number) || number < 1 || number > maxSize) {
            return "bad size '" + std::string(args[i + 2]) + "' (1.." + std::to_string(maxSize) +
                   " for " + std::string(verb) + ")";
        }
        op.size = static_cast<std::uint32_t>(number);
        if (op.write) {
            if (!ParseValue(args[i + 3], op.size, op.value)) {
                return "bad value '" + std::string(args[i + 3]) + "' (does not fit in " +
                       std::to_string(op.size) + " byte(s))";
            }
        } else {
            op.data.assign(op.size, 0);
        }
        operations.push_back(std::move(op));
        i += needed + 1;
    }
    return {};
}

std::string Hex(std::uint64_t value, int digits) {
    std::ostringstream out;
    out << "0x";
    out.setf(std::ios::hex, std::ios::basefield);
    out.setf(std::ios::uppercase);
    out.width(digits);
    out.fill('0');
    out << value;
    return out.str();
}

void PrintResult(std::int32_t code) {
    const auto& texts = skyfault::link::ResultTexts();
    std::cout << "Result " << code << ": "
              << (code >= 0 && code < skyfault::link::kResultCount ? texts[code] : "(unknown)")
              << '\n';
}

void PrintRead(const Operation& op) {
    std::cout << "read " << Hex(op.offset, 4) << ' ' << op.size << ':';
    if (op.size <= 8) {
        std::uint64_t value = 0;
        for (std::uint32_t b = 0; b < op.size; ++b) {
            value |= std::uint64_t{op.data[b]} << (8 * b);
        }
        std::cout << ' ' << Hex(value, static_cast<int>(2 * op.size)) << " = " << value << '\n';
        return;
    }
    for (std::uint32_t b = 0; b < op.size; ++b) {
        if (b % 16 == 0) {
            std::cout << "\n ";
        }
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", op.data[b]);
        std::cout << byte;
    }
    std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A reader that has gone (output piped into a command that ended) must
    // not end the program with its link open: the link is closed as always.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            std::cout << kUsage;
            return 0;
        }
    }
    std::vector<Operation> operations;
    if (const std::string problem = ParseArguments(args, operations); !problem.empty()) {
        std::cerr << "skyfault-linkcheck: " << problem << "\n"
                  << "Try 'skyfault-linkcheck --help'.\n";
        return kUsageError;
    }

    const std::unique_ptr<skyfault::link::Transport> transport =
        skyfault::link::MakePlatformTransport();
    Link link(*transport);
    link.LinkInitialize();
    std::int32_t result = 0;
    const bool opened = link.LinkOpen(0, result);
    PrintResult(result);
    if (!opened) {
        return result;
    }
    const std::uint32_t sim = link.SimVersion();
    const auto& names = skyfault::link::SimulatorNames();
    std::cout << "FSUIPC version: " << Hex(static_cast<std::uint32_t>(link.FsuipcVersion()), 8)
              << '\n'
              << "Simulator: " << sim;
    if (sim < names.size()) {
        std::cout << " (" << names[sim] << ')';
    }
    std::cout << '\n';
    if (operations.empty()) {
        link.LinkClose();
        return result;
    }

    for (Operation& op : operations) {
        bool queued = false;
        if (op.write) {
            std::uint8_t bytes[8];
            for (std::uint32_t b = 0; b < op.size; ++b) {
                bytes[b] = static_cast<std::uint8_t>(op.value >> (8 * b));
            }
            queued = link.LinkWrite(op.offset, op.size, bytes, result);
        } else {
            queued = link.LinkRead(op.offset, op.size, op.data.data(), result);
        }
        if (!queued) {
            std::cout << (op.write ? "write " : "read ") << Hex(op.offset, 4) << ' ' << op.size
                      << " not queued\n";
            PrintResult(result);
            link.LinkClose();
            return result;
        }
    }
    const bool exchanged = link.LinkProcess(result);
    if (exchanged) {
        for (const Operation& op : operations) {
            if (op.write) {
                std::cout << "write " << Hex(op.offset, 4) << ' ' << op.size << ": "
                          << Hex(op.value, static_cast<int>(2 * op.size)) << '\n';
            } else {
                PrintRead(op);
            }
        }
    }
    PrintResult(result);
    link.LinkClose();
    return result;
}
