#include "engine/program_core.h"

#include "settings/config.h"
#include "settings/regular_file.h"

namespace skyfault::engine {

ProgramCore::ProgramCore(TimerFactory& timers, SoundPlayer& sound)
    : transport_(link::MakePlatformTransport()),
      link_(*transport_),
      engine_(Engine::Dependencies{.link = link_,
                                   .timers = timers,
                                   .sound = sound,
                                   .configPath = PathInCurrentFolder(kConfigFileName),
                                   .logPath = PathInCurrentFolder(kFlightLogFileName)}) {}

}  // namespace skyfault::engine
