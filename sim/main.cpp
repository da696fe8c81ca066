// skyfault-sim: a stand-in for the simulator's interface module and the
// simulator behind it. It serves request blocks from its own 64 KiB offset
// space, prints every write it receives, and takes commands on standard
// input to set and watch values.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "sim/console.h"
#include "sim/server.h"
#include "sim/sim_core.h"

namespace {

using skyfault::sim::OffsetSpace;

volatile std::sig_atomic_t gSignalled = 0;

extern "C" void OnSignal(int) {
    gSignalled = 1;
}

constexpr char kUsage[] =
    "Usage: skyfault-sim [options]\n"
    "A stand-in for the simulator's interface module: serves the request protocol\n"
    "from a 64 KiB offset space, prints 'ready' once it serves and then one line\n"
    "'write OFFSET SIZE HEXBYTES' for every write it receives.\n"
    "\n"
    "Options:\n"
    "  --class UIPCMAIN|FS98MAIN  server class to answer as (default UIPCMAIN;\n"
    "                             FS98MAIN plays the networked client)\n"
    "  --version 0xNNNNNNNN       value at 0x3304 (default 0x40000000; below\n"
    "                             0x19980005 the client refuses the version)\n"
    "  --sim-code N               simulator code 0..5 in 0x3308 (default 4)\n"
    "  --wrong-version            0x3308 without the 0xFADE mark: the open fails\n"
    "  --late MS                  answer every request MS milliseconds late\n"
    "                             (over 2000 and the client times out)\n"
    "  --answer N                 answer N instead of 1, leaving blocks untouched\n"
    "  --help                     this text\n"
    "\n"
    "On POSIX systems the server listens at $XDG_RUNTIME_DIR/skyfault-ipc/<class>\n"
    "(or /tmp/skyfault-ipc-<uid>/<class>); on Windows it is a hidden window of\n"
    "that class. End of standard input does not stop it: 'quit', SIGINT or\n"
    "SIGTERM do.\n"
    "\n";

struct Options {
    std::string className = "UIPCMAIN";
    std::uint32_t version = skyfault::sim::kDefaultFsuipcVersion;
    std::uint16_t simCode = skyfault::sim::kDefaultSimCode;
    bool wrongVersion = false;
    std::uint32_t lateMs = 0;
    bool answerSet = false;
    std::uint32_t answer = 1;
};

bool ParseUnsigned(const char* text, std::uint64_t max, std::uint64_t& value) {
    std::int64_t v = 0;
    if (!skyfault::sim::ParseInteger(text, v) || v < 0 || static_cast<std::uint64_t>(v) > max) {
        return false;
    }
    value = static_cast<std::uint64_t>(v);
    return true;
}

// 0: go on; otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto needValue = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "skyfault-sim: " << arg << " needs " << what << "\n";
                return nullptr;
            }
            return argv[++i];
        };
        std::uint64_t number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << skyfault::sim::CommandHelp();
            return -1;
        } else if (arg == "--class") {
            const char* value = needValue("UIPCMAIN or FS98MAIN");
            if (value == nullptr) {
                return 2;
            }
            if (std::string_view(value) != "UIPCMAIN" && std::string_view(value) != "FS98MAIN") {
                std::cerr << "skyfault-sim: --class must be UIPCMAIN or FS98MAIN, not '" << value
                          << "'\n";
                return 2;
            }
            options.className = value;
        } else if (arg == "--version") {
            const char* value = needValue("a 32-bit number");
            if (value == nullptr) {
                return 2;
            }
            if (!ParseUnsigned(value, 0xFFFFFFFFu, number)) {
                std::cerr << "skyfault-sim: --version: '" << value << "' is not a 32-bit number\n";
                return 2;
            }
            options.version = static_cast<std::uint32_t>(number);
        } else if (arg == "--sim-code") {
            const char* value = needValue("a code 0..5");
            if (value == nullptr) {
                return 2;
            }
            if (!ParseUnsigned(value, 0xFFFF, number)) {
                std::cerr << "skyfault-sim: --sim-code: '" << value
                          << "' is not a code 0..5 (or up to 65535)\n";
                return 2;
            }
            options.simCode = static_cast<std::uint16_t>(number);
        } else if (arg == "--wrong-version") {
            options.wrongVersion = true;
        } else if (arg == "--late") {
            const char* value = needValue("milliseconds");
            if (value == nullptr) {
                return 2;
            }
            if (!ParseUnsigned(value, 600000, number)) {
                std::cerr << "skyfault-sim: --late: '" << value
                          << "' is not a number of milliseconds 0..600000\n";
                return 2;
            }
            options.lateMs = static_cast<std::uint32_t>(number);
        } else if (arg == "--answer") {
            const char* value = needValue("a number");
            if (value == nullptr) {
                return 2;
            }
            if (!ParseUnsigned(value, 0xFFFFFFFFu, number)) {
                std::cerr << "skyfault-sim: --answer: '" << value << "' is not a 32-bit number\n";
                return 2;
            }
            options.answerSet = true;
            options.answer = static_cast<std::uint32_t>(number);
        } else {
            std::cerr << "skyfault-sim: unknown option '" << arg << "' (see --help)\n";
            return 2;
        }
    }
    return 0;
}

// Shared by the server's thread and the command reader; they outlive main's
// return only in the detached reader, which the process end cuts short.
std::mutex gMutex;
OffsetSpace gSpace;
std::atomic<bool> gQuit{false};

void ReadCommands() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(gMutex);
        const skyfault::sim::CommandOutcome outcome = skyfault::sim::RunCommand(line, gSpace);
        if (!outcome.output.empty()) {
            std::cout << outcome.output << std::endl;
        }
        if (!outcome.error.empty()) {
            std::cerr << "skyfault-sim: " << outcome.error << std::endl;
        }
        if (outcome.quit) {
            gQuit = true;
            return;
        }
    }
    // End of input: keep serving until 'quit' or a signal.
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = ParseOptions(argc, argv, options); code != 0) {
        return code < 0 ? 0 : code;
    }

    gSpace.WriteU32(skyfault::sim::offsets::kFsuipcVersion, options.version);
    gSpace.SetSimCode(options.simCode);
    if (options.wrongVersion) {
        gSpace.WriteU32(skyfault::sim::offsets::kSimVersion, 0x12340000u | options.simCode);
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a closed output must not kill the server uncleanly
#endif

    auto server = skyfault::sim::MakePlatformServer(
        options.className, [&options](std::uint8_t* block) -> std::uint32_t {
            if (options.lateMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(options.lateMs));
            }
            if (options.answerSet && options.answer != 1) {
                return options.answer;
            }
            std::lock_guard<std::mutex> lock(gMutex);
            return skyfault::sim::ProcessBlock(
                block, gSpace, [](const skyfault::sim::WriteRecord& write) {
                    std::cout << skyfault::sim::FormatWrite(write) << std::endl;
                });
        });
    std::string error;
    if (!server->Start(error)) {
        std::cerr << "skyfault-sim: cannot serve as " << options.className << ": " << error
                  << std::endl;
        return 1;
    }
    {
        std::lock_guard<std::mutex> lock(gMutex);
        std::cerr << "skyfault-sim: serving as " << options.className << std::endl;
        std::cout << "ready" << std::endl;
    }

    std::thread(ReadCommands).detach();
    while (!gQuit && gSignalled == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    server->Stop();
    std::cout.flush();
    std::cerr.flush();
    // The command reader may still wait for input: end without running
    // destructors under its feet.
    std::_Exit(0);
}
