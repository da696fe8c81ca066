// skyfault-exitcfg FOLDER: runs the engine in FOLDER as the Linux program
// does at start (reading FOLDER/skyfault.cfg), with no server and no timer
// ticking, and leaves through File > Exit, which rewrites that file: the
// file the Linux program writes on Exit from the same starting file. The
// end-to-end tests compare the programs' files with it.
// Exit status: 0 saved, 1 not saved (the reason on standard error), 64 usage.

#include <iostream>
#include <string>

#include "engine/engine.h"
#include "engine/manual_timer.h"
#include "engine/sources.h"
#include "link/link.h"
#include "link/transport.h"

namespace {

// A machine without any server: every open fails at once.
class NoServer final : public skyfault::link::Transport {
    std::uintptr_t FindServerWindow(std::string_view) override { return 0; }
    std::uint32_t RegisterMessage(std::string_view) override { return 0; }
    std::uint32_t CurrentProcessId() override { return 1; }
    std::uint16_t AddAtom(std::string_view) override { return 0; }
    void DeleteAtom(std::uint16_t) override {}
    std::uintptr_t CreateMapping(std::string_view, std::uint32_t, bool&) override { return 0; }
    std::uint8_t* MapView(std::uintptr_t) override { return nullptr; }
    void UnmapView(std::uint8_t*) override {}
    void CloseMapping(std::uintptr_t) override {}
    bool SendMessageTimeout(std::uintptr_t, std::uint32_t, std::int32_t, std::int32_t,
                            std::uint32_t, std::uint32_t&, std::uint32_t&) override {
        return false;
    }
    void Sleep(std::uint32_t) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: skyfault-exitcfg FOLDER\n";
        return 64;
    }
    NoServer transport;
    skyfault::link::Link link(transport);
    skyfault::engine::ManualClock clock;
    skyfault::engine::NullSoundPlayer sound;
    skyfault::engine::SeededRandom random(1.0);
    skyfault::engine::Engine engine({.link = link,
                                     .timers = clock,
                                     .sound = sound,
                                     .random = &random,
                                     .timeOfDay = &clock,
                                     .configPath = std::string(argv[1]) + "/skyfault.cfg"});
    bool ended = false;
    engine.SetQuitCallback([&ended] { ended = true; });
    engine.Main();
    engine.mnuFileExit_Click();
    if (!ended) {
        std::cerr << "skyfault-exitcfg: " << engine.state().window.txtMessage.text << "\n";
    }
    return ended ? 0 : 1;
}
