#pragma once

// The local transport (POSIX): the Windows operations of the protocol stood
// in for by a stream socket and a shared file in the meeting place.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "link/transport.h"

namespace skyfault::link {

struct LocalTransportOptions {
    // When set, no send waits longer than this many milliseconds, whatever
    // the caller asks for (lets tests reach a time-out quickly).
    std::optional<std::uint32_t> sendTimeoutCapMs;
    // Replaces the real sleep when set.
    std::function<void(std::uint32_t milliseconds)> sleep;
};

std::unique_ptr<Transport> MakeLocalTransport(LocalTransportOptions options = {});

}  // namespace skyfault::link
