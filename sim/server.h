#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace skyfault::sim {

// Handles one request block (32768 bytes, mapped from the client) and
// returns the answer value the client receives (1 when processed). Called
// on the server's own thread, one block at a time.
using BlockHandler = std::function<std::uint32_t(std::uint8_t* block)>;

// The platform's server side of the protocol: on Windows a hidden top-level
// window of the given class answering the registered message; on POSIX the
// local transport's listening socket named after the class.
class BlockServer {
public:
    virtual ~BlockServer() = default;
    // Starts serving on a thread of its own; false with a reason on failure.
    virtual bool Start(std::string& error) = 0;
    // Stops serving and releases everything; may be called twice.
    virtual void Stop() = 0;
};

std::unique_ptr<BlockServer> MakePlatformServer(const std::string& className, BlockHandler handler);

}  // namespace skyfault::sim
