#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

    // Clears every handle before an open attempt; the version fields stay.
    // Whatever an open link still holds is released through the transport
    // first, so that no atom, mapping, view, connection or block file is left
    // behind; on a closed link there is nothing to release.
    void LinkInitialize();
    // Opens the link; requestedSim 0 accepts any simulator. On an open link
    // it fails with 1 and leaves the link, and its versions, as they are.
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

    // The server window of the open link is gone: every exchange ends with
    // 12 at once, without a send, until the link is opened again.
    bool ServerLost() const { return serverLost_; }
    // Looks, without an exchange, whether the open link's server window is
    // still there; one found gone is lost as above. False on a closed link.
    bool ServerPresent();
    std::int32_t FsuipcVersion() const { return fsuipcVersion_; }
    std::uint32_t SimVersion() const { return simVersion_; }

    // The time each send may wait for the server, and the pause between
    // attempts, in milliseconds.
    static constexpr std::uint32_t kSendTimeoutMs = 2000;
    static constexpr std::uint32_t kRetryPauseMs = 100;
    static constexpr int kSendAttempts = 11;
    static constexpr int kVersionRounds = 5;

private:
    // Where a queued read's value goes; indexed by the request's position in
    // the batch. The destination field of the record carries that position + 1
    // (0 for a null destination), so that the link finds the address again
    // whatever the width of an address.
    struct PendingRead {
        void* address = nullptr;
        std::uint32_t size = 0;
    };

    bool Fail(std::int32_t code, std::int32_t& result);

    Transport& transport_;
    std::int32_t fsuipcVersion_ = 0;
    std::uint32_t simVersion_ = 0;
    std::uint8_t* view_ = nullptr;
    bool serverLost_ = false;
    std::uintptr_t serverWindow_ = 0;
    std::uint32_t messageId_ = 0;
    std::int32_t mappingAtom_ = 0;  // the 16-bit atom widened with its sign
    std::uintptr_t mappingHandle_ = 0;
    RequestBlock block_;  // the queue: NextRequest is View + block_.Used()
    std::vector<PendingRead> pending_;
    // The batch being exchanged. Kept between exchanges, with pending_ and
    // the block's record list, so that their storage is reused and an
    // exchange allocates nothing.
    std::vector<QueuedRecord> sent_;
    std::vector<PendingRead> delivering_;
};

// The shared block's name for a process id: "FSASMLIB:IPC:<hex>:1".
std::string BlockName(std::uint32_t processId);

}  // namespace skyfault::link
