// skyfault-exitcfg FOLDER: runs the engine in FOLDER as the Linux program
// does at start (reading FOLDER/skyfault.cfg), with no server and no timer
// ticking, and leaves through File > Exit, which rewrites that file: the
// file the Linux program writes on Exit from the same starting file. The
// end-to-end tests compare the programs' files with it.
// Exit status: 0 saved, 1 not saved (the reason on standard error), 64 usage.

#include <iostream>
#include <string>

#include "engine/engine.h"
#include "tests/support/in_process_server.h"
#include "tests/support/manual_clock.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: skyfault-exitcfg FOLDER\n";
        return 64;
    }
    skyfault::test_support::InProcessServer noServer;
    noServer.SetWindowClass("");  // a machine without any server: opens fail at once
    skyfault::link::Link link(noServer);
    skyfault::test_support::ManualClock clock;
    skyfault::engine::NullSoundPlayer sound;
    skyfault::engine::Engine engine({.link = link,
                                     .timers = clock,
                                     .sound = sound,

                                     .timeOfDay = &clock,
                                     .configPath = std::string(argv[1]) + "/skyfault.cfg"});
    bool ended = false;
    engine.SetQuitCallback([&ended] { ended = true; });
    engine.Main();
    engine.mnuFileExit_Click();
    std::cerr << (ended ? "" : "skyfault-exitcfg: " + engine.state().window.txtMessage.text + "\n");
    return ended ? 0 : 1;
}
