#pragma once

// The request block: the layout of the records the client queues in the
// shared block, and the scan of the server's reply. Works on a plain buffer of
// kBlockSize bytes and needs nothing of the platform.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "link/byte_order.h"  // the block's fields are little-endian

namespace skyfault::link {

// The registered message a block is sent with; each block's name starts with it.
inline constexpr std::string_view kMessageName = "FSASMLIB:IPC";
inline constexpr std::uint32_t kBlockSize = 0x8000;        // 32768
inline constexpr std::uint32_t kBlockSpaceLimit = 0x7F00;  // 32512: records and terminator
inline constexpr std::uint32_t kReadHeaderSize = 16;
inline constexpr std::uint32_t kWriteHeaderSize = 12;
inline constexpr std::uint32_t kTerminatorSize = 4;

enum class RecordKind : std::uint32_t { kEnd = 0, kRead = 1, kWrite = 2 };

// A record as it was queued; the reply must bring back the same kind, size
// and (for reads) destination key.
struct QueuedRecord {
    RecordKind kind = RecordKind::kEnd;
    std::uint32_t size = 0;
    std::uint32_t destination = 0;  // reads only; 0 means "deliver nowhere"
};

// Encoder over a caller's buffer of kBlockSize bytes. The buffer is not owned.
class RequestBlock final {
public:
    RequestBlock() = default;
    explicit RequestBlock(std::uint8_t* block) { Attach(block); }

    // Starts an empty queue on `block` (nullptr: no block).
    void Attach(std::uint8_t* block);
    // Bytes taken by the queued records (the write position).
    std::uint32_t Used() const { return used_; }
    bool Empty() const { return used_ == 0; }

    // Space needed (queued records + terminator) after adding a record of
    // `headerSize` + `size` bytes; 64-bit so that no size can wrap it.
    std::uint64_t SpaceNeeded(std::uint32_t headerSize, std::uint32_t size) const;

    // Queue a read: 16-byte header (kind 1, offset, size, destination) and
    // `size` zero bytes. False, with nothing changed, when there is no block
    // or the space needed would exceed kBlockSpaceLimit.
    bool AppendRead(std::uint32_t offset, std::uint32_t size, std::uint32_t destination);
    // Queue a write: 12-byte header (kind 2, offset, size) and `size` bytes
    // copied from `source` (zeros when `source` is null). False as above.
    bool AppendWrite(std::uint32_t offset, std::uint32_t size, const void* source);
    // Writes the 32-bit zero terminator after the last record and empties the
    // queue. Returns the records that were queued, for the reply scan.
    std::vector<QueuedRecord> Terminate();
    // The same, handing the records over in `sent` (whose old contents are
    // dropped). The two vectors swap their storage, so that a steady stream
    // of batches allocates nothing once both have reached their size.
    void Terminate(std::vector<QueuedRecord>& sent);
    // Empties the queue without touching the buffer.
    void Clear();

private:
    std::uint8_t* block_ = nullptr;
    std::uint32_t used_ = 0;
    std::vector<QueuedRecord> records_;
};

enum class ScanOutcome {
    kComplete,  // every record matched and every read was delivered
    kBadData,   // the scan stopped at a record that cannot be trusted
};

// Receives a read's value: its destination key, the data area and its size.
// Called only for reads with a non-zero key and a non-zero size.
using DeliverFunction =
    std::function<void(std::uint32_t destination, const std::uint8_t* data, std::uint32_t size)>;

// Scans the reply in `block` against the records that were sent, in order.
// It stops with kBadData at the first record whose kind (low 16 bits) or size
// differs from what was queued, whose destination key changed, or that would
// run past kBlockSpaceLimit, and also when the terminator is missing after
// the last record. Reads before the stopping point have been delivered, those
// from it on have not. Nothing is ever read past kBlockSpaceLimit.
ScanOutcome ScanReply(const std::uint8_t* block, const std::vector<QueuedRecord>& sent,
                      const DeliverFunction& deliver);

}  // namespace skyfault::link
