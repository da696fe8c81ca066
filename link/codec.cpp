#include "link/codec.h"

#include <cstring>

namespace skyfault::link {

void RequestBlock::Attach(std::uint8_t* block) {
    block_ = block;
    Clear();
}

void RequestBlock::Clear() {
    used_ = 0;
    records_.clear();
}

std::uint64_t RequestBlock::SpaceNeeded(std::uint32_t headerSize, std::uint32_t size) const {
    return std::uint64_t{used_} + kTerminatorSize + headerSize + size;
}

bool RequestBlock::AppendRead(std::uint32_t offset, std::uint32_t size, std::uint32_t destination) {
    if (block_ == nullptr || SpaceNeeded(kReadHeaderSize, size) > kBlockSpaceLimit) {
        return false;
    }
    std::uint8_t* at = block_ + used_;
    PutLe32(at, static_cast<std::uint32_t>(RecordKind::kRead));
    PutLe32(at + 4, offset);
    PutLe32(at + 8, size);
    PutLe32(at + 12, destination);
    std::memset(at + kReadHeaderSize, 0, size);
    used_ += kReadHeaderSize + size;
    records_.push_back({RecordKind::kRead, size, destination});
    return true;
}

bool RequestBlock::AppendWrite(std::uint32_t offset, std::uint32_t size, const void* source) {
    if (block_ == nullptr || SpaceNeeded(kWriteHeaderSize, size) > kBlockSpaceLimit) {
        return false;
    }
    std::uint8_t* at = block_ + used_;
    PutLe32(at, static_cast<std::uint32_t>(RecordKind::kWrite));
    PutLe32(at + 4, offset);
    PutLe32(at + 8, size);
    if (size != 0) {
        if (source != nullptr) {
            std::memcpy(at + kWriteHeaderSize, source, size);
        } else {
            std::memset(at + kWriteHeaderSize, 0, size);
        }
    }
    used_ += kWriteHeaderSize + size;
    records_.push_back({RecordKind::kWrite, size, 0});
    return true;
}

std::vector<QueuedRecord> RequestBlock::Terminate() {
    std::vector<QueuedRecord> sent;
    Terminate(sent);
    return sent;
}

void RequestBlock::Terminate(std::vector<QueuedRecord>& sent) {
    if (block_ != nullptr) {
        PutLe32(block_ + used_, 0);
    }
    sent.clear();
    sent.swap(records_);
    Clear();
}

ScanOutcome ScanReply(const std::uint8_t* block, const std::vector<QueuedRecord>& sent,
                      const DeliverFunction& deliver) {
    std::uint64_t position = 0;
    for (const QueuedRecord& expected : sent) {
        const std::uint32_t header =
            expected.kind == RecordKind::kRead ? kReadHeaderSize : kWriteHeaderSize;
        if (position + header > kBlockSpaceLimit) {
            return ScanOutcome::kBadData;
        }
        const std::uint8_t* at = block + position;
        const std::uint32_t kind = GetLe32(at) & 0xFFFFu;
        if (kind != static_cast<std::uint32_t>(expected.kind)) {
            return ScanOutcome::kBadData;
        }
        const std::uint32_t size = GetLe32(at + 8);
        if (size != expected.size || position + header + size > kBlockSpaceLimit) {
            return ScanOutcome::kBadData;
        }
        if (expected.kind == RecordKind::kRead) {
            const std::uint32_t destination = GetLe32(at + 12);
            if (destination != expected.destination) {
                return ScanOutcome::kBadData;
            }
            if (destination != 0 && size != 0 && deliver) {
                deliver(destination, at + header, size);
            }
        }
        position += header + size;
    }
    if (position + kTerminatorSize > kBlockSpaceLimit ||
        (GetLe32(block + position) & 0xFFFFu) != static_cast<std::uint32_t>(RecordKind::kEnd)) {
        return ScanOutcome::kBadData;
    }
    return ScanOutcome::kComplete;
}

}  // namespace skyfault::link
