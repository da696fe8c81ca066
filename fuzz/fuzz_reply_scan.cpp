// The link's reply scan on any reply content after any queued batch. A
// transport double answers the open honestly, then overwrites the block with
// the fuzz bytes before the link scans it. Every read destination sits
// between guard bytes: the link must never write outside a destination nor
// more bytes than requested, must end with result 0 or 13, must deliver only
// what the reply holds at that read's place, and must work again at the
// next exchange.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/codec.h"
#include "link/link.h"
#include "link/result.h"
#include "link/transport.h"

namespace {

using skyfault::link::PutLe32;

constexpr std::uintptr_t kWindow = 1;
constexpr std::uintptr_t kMapping = 2;
constexpr std::uint32_t kMessage = 0xC123;
constexpr std::uint16_t kAtom = 0xC001;
constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardSize = 16;

class OverwritingTransport final : public skyfault::link::Transport {
public:
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(skyfault::link::kBlockSize);
    // What the next send does to the block; empty: answer honestly.
    std::size_t overlayAt = 0;
    std::string_view overlay;
    bool overwrite = false;
    std::uint32_t answer = 1;

    std::uintptr_t FindServerWindow(std::string_view className) override {
        return className == "UIPCMAIN" ? kWindow : 0;
    }
    bool WindowExists(std::uintptr_t window) override { return window == kWindow; }
    std::uint32_t RegisterMessage(std::string_view) override { return kMessage; }
    std::uint32_t CurrentProcessId() override { return 0x1A4; }
    std::uint16_t AddAtom(std::string_view) override { return kAtom; }
    void DeleteAtom(std::uint16_t) override {}
    std::uintptr_t CreateMapping(std::string_view, std::uint32_t size,
                                 bool& alreadyExisted) override {
        alreadyExisted = false;
        return size == block.size() ? kMapping : 0;
    }
    std::uint8_t* MapView(std::uintptr_t mapping) override {
        return mapping == kMapping ? block.data() : nullptr;
    }
    void UnmapView(std::uint8_t*) override {}
    void CloseMapping(std::uintptr_t) override {}
    void Sleep(std::uint32_t) override {}

    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t, std::uint32_t, std::uint32_t& reply,
                            std::uint32_t& lastError) override {
        lastError = 0;
        SKYFAULT_FUZZ_CHECK(window == kWindow && message == kMessage);
        SKYFAULT_FUZZ_CHECK(static_cast<std::uint16_t>(wParam) == kAtom);
        if (overwrite) {
            const std::size_t count = std::min(overlay.size(), block.size() - overlayAt);
            if (count != 0) {
                std::memcpy(block.data() + overlayAt, overlay.data(), count);
            }
            reply = answer;
            return true;
        }
        // Honest: the only batches sent honestly are the open's two version
        // reads and the single 4-byte read that checks the link afterwards.
        PutLe32(block.data() + 16, 0x40000000u);
        PutLe32(block.data() + 36, 0xFADE0004u);
        reply = 1;
        return true;
    }
};

struct Request {
    bool read = true;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool nullDestination = false;
    std::size_t position = 0;          // of the record in the block
    std::vector<std::uint8_t> buffer;  // guard, destination, guard
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    skyfault::fuzz::InputReader input(data, size);
    OverwritingTransport transport;
    skyfault::link::Link link(transport);
    std::int32_t result = -1;
    SKYFAULT_FUZZ_CHECK(link.LinkOpen(0, result) && result == 0);

    // The batch: up to 8 reads and writes of up to 1023 bytes each.
    std::vector<Request> requests(1 + input.Byte() % 8);
    std::size_t position = 0;
    std::vector<std::uint8_t> source(1024, 0x3C);
    for (Request& r : requests) {
        const std::uint8_t flags = input.Byte();
        r.read = (flags & 1) == 0;
        r.nullDestination = (flags & 2) != 0;
        r.offset = input.U16();
        r.size = input.U16() % 1024;
        r.position = position;
        if (r.read) {
            r.buffer.assign(kGuardSize + r.size + kGuardSize, kGuard);
            void* destination = r.nullDestination ? nullptr : r.buffer.data() + kGuardSize;
            SKYFAULT_FUZZ_CHECK(link.LinkRead(r.offset, r.size, destination, result));
            position += skyfault::link::kReadHeaderSize + r.size;
        } else {
            SKYFAULT_FUZZ_CHECK(link.LinkWrite(r.offset, r.size, source.data(), result));
            position += skyfault::link::kWriteHeaderSize + r.size;
        }
        SKYFAULT_FUZZ_CHECK(result == 0);
    }

    const std::uint8_t mode = input.Byte();
    transport.answer = (mode & 7) == 7 ? input.U16() : 1;
    transport.overlayAt = input.U16() % skyfault::link::kBlockSize;
    transport.overlay = input.Rest();
    transport.overwrite = true;

    const bool done = link.LinkProcess(result);
    SKYFAULT_FUZZ_CHECK(done == (result == skyfault::link::kOkay));
    SKYFAULT_FUZZ_CHECK(result == skyfault::link::kOkay || result == skyfault::link::kBadData);

    for (const Request& r : requests) {
        if (!r.read) {
            continue;
        }
        const std::uint8_t* buffer = r.buffer.data();
        // Nothing written before or after the destination.
        for (std::size_t i = 0; i < kGuardSize; ++i) {
            SKYFAULT_FUZZ_CHECK(buffer[i] == kGuard);
            SKYFAULT_FUZZ_CHECK(buffer[kGuardSize + r.size + i] == kGuard);
        }
        // The destination is untouched, or holds exactly what the reply
        // holds in this read's data area.
        const std::uint8_t* destination = buffer + kGuardSize;
        const std::uint8_t* replied =
            transport.block.data() + r.position + skyfault::link::kReadHeaderSize;
        const bool untouched = std::all_of(destination, destination + r.size,
                                           [](std::uint8_t b) { return b == kGuard; });
        const bool delivered = !r.nullDestination && std::memcmp(destination, replied, r.size) == 0;
        SKYFAULT_FUZZ_CHECK(untouched || delivered);
        if (done && !r.nullDestination) {
            SKYFAULT_FUZZ_CHECK(delivered);
        }
    }

    // Whatever the reply was, the link stays open: the next honest exchange
    // works.
    transport.overwrite = false;
    std::uint32_t version = 0;
    SKYFAULT_FUZZ_CHECK(link.LinkRead(0x3304, 4, &version, result));
    SKYFAULT_FUZZ_CHECK(link.LinkProcess(result) && result == 0);
    SKYFAULT_FUZZ_CHECK(version == 0x40000000u);
    return 0;
}
