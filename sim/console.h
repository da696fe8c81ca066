#pragma once

// The stand-in's command language (one command per line on standard input)
// and the text of its output lines. Plain C++: the platform-specific parts
// of skyfault-sim live in main.cpp and the server files.

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/sim_core.h"

namespace skyfault::sim {

struct CommandOutcome {
    bool quit = false;
    std::string output;  // a line for standard output (without newline), or empty
    std::string error;   // a line for standard error (without newline), or empty
};

// Carries out one command line against the offset space:
//   set NAME VALUE, get NAME, poke OFFSET SIZE VALUE, peek OFFSET SIZE,
//   help, quit. Blank lines and lines starting with '#' do nothing.
// A bad command changes nothing and comes back with an error text.
CommandOutcome RunCommand(std::string_view line, OffsetSpace& space);

// The help text of the commands (several lines, ending with a newline).
std::string CommandHelp();

// "write 0x0B71 1 01": offset, size and the bytes in hexadecimal, in order.
std::string FormatWrite(const WriteRecord& write);

// A number in decimal or hexadecimal (0x prefix), optionally negative.
bool ParseInteger(std::string_view text, std::int64_t& value);

}  // namespace skyfault::sim
