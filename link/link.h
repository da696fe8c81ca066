#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/codec.h"
#include "link/result.h"
#include "link/transport.h"

namespace skyfault::link {

// The client side of the request protocol: one link per program, shared by
// every caller. No operation shows anything; failures come back as a result
// code and a false return.
class Link final {
public:
    explicit Link(Transport& transport);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Forgets every handle without releasing anything (the version fields stay).
    void LinkInitialize();
    // Opens the link; requestedSim 0 accepts any simulator.
    bool LinkOpen(std::int32_t requestedSim, std::int32_t& result);
    // Releases everything; may be called at any time, also twice.
    void LinkClose();
    // Queues a read of `size` bytes at `offset`; the value is delivered to
    // `destination` (which must stay valid until the batch's LinkProcess)
    // when LinkProcess returns true. A null destination is never delivered.
    bool LinkRead(std::uint32_t offset, std::uint32_t size, void* destination,
                  std::int32_t& result);
    // Queues a write of `size` bytes at `offset`, copied from `source` at once.
    bool LinkWrite(std::uint32_t offset, std::uint32_t size, const void* source,
                   std::int32_t& result);
    // Exchanges the queued batch with the server. The queue is empty afterwards.
    bool LinkProcess(std::int32_t& result);

    bool IsOpen() const { return view_ != nullptr; }
    std::int32_t FsuipcVersion() const { return fsuipcVersion_; }
    std::uint32_t SimVersion() const { return simVersion_; }

private:
    // Implementation state; see link.cpp.
    Transport& transport_;
    std::int32_t fsuipcVersion_ = 0;
    std::uint32_t simVersion_ = 0;
    std::uint8_t* view_ = nullptr;
    // ... further members are the implementer's.
};

// The shared block's name for a process id: "FSASMLIB:IPC:<hex>:1".
std::string BlockName(std::uint32_t processId);

}  // namespace skyfault::link
