#pragma once

#include <memory>

#include "engine/engine.h"
#include "link/link.h"
#include "link/transport.h"

namespace skyfault::engine {

// What both programs build beneath their windows: the platform's link
// transport, the link over it, and the engine over the link with the
// front-end's timers and sound player, keeping skyfault.cfg and
// skyfault-log.csv in the folder the program starts in (whatever the current folder later becomes).
// The timers and the sound player outlive it.
class ProgramCore final {
public:
    ProgramCore(TimerFactory& timers, SoundPlayer& sound);

    link::Link& link() { return link_; }
    Engine& engine() { return engine_; }

private:
    std::unique_ptr<link::Transport> transport_;
    link::Link link_;
    Engine engine_;
};

}  // namespace skyfault::engine
