#pragma once

// A transport double for the link's tests: an in-process server over a
// plain buffer, counters for every acquisition and release, and scripted
// send outcomes (time-outs, failures) that never wait in real time.

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "link/codec.h"
#include "link/transport.h"

namespace skyfault::link::testing {

// A server's view of the simulator: 64 KiB of offsets, little-endian.
struct FakeSimulator {
    std::array<std::uint8_t, 0x10000> offsets{};
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> writes;

    void SetU32(std::uint32_t offset, std::uint32_t value) { PutLe32(&offsets[offset], value); }

    // Carries out the records in order, as a server would; stops at an
    // unknown kind or at a record that would run past the space limit.
    std::uint32_t Process(std::uint8_t* block) {
        std::uint64_t at = 0;
        while (at + 4 <= kBlockSpaceLimit) {
            const std::uint32_t kind = GetLe32(block + at) & 0xFFFFu;
            if (kind == 1 || kind == 2) {
                const std::uint32_t header = kind == 1 ? kReadHeaderSize : kWriteHeaderSize;
                if (at + header > kBlockSpaceLimit) {
                    break;
                }
                const std::uint32_t offset = GetLe32(block + at + 4);
                const std::uint32_t size = GetLe32(block + at + 8);
                if (at + header + size > kBlockSpaceLimit) {
                    break;
                }
                std::uint8_t* data = block + at + header;
                for (std::uint32_t i = 0; i < size; ++i) {
                    const std::uint32_t where = (offset + i) & 0xFFFFu;
                    if (kind == 1) {
                        data[i] = offsets[where];
                    } else {
                        offsets[where] = data[i];
                    }
                }
                if (kind == 2) {
                    writes.emplace_back(offset, std::vector<std::uint8_t>(data, data + size));
                }
                at += header + size;
            } else {
                break;
            }
        }
        return 1;
    }
};

class FakeTransport final : public Transport {
public:
    enum class Send { kServe, kTimeOut, kFail };
    struct Outcome {
        Send kind = Send::kServe;
        std::uint32_t error = 0;  // for kFail; also allowed with kTimeOut to test odd errors
    };

    FakeTransport() {
        simulator.SetU32(0x3304, 0x40000000);  // a recent server version
        simulator.SetU32(0x3308, 0xFADE0004);  // simulator code 4
    }

    // --- what the double offers ---
    std::set<std::string> windows{"UIPCMAIN"};
    std::uint32_t messageNumber = 0xC0DE;
    std::uint32_t processId = 0x1A4;
    std::uint16_t atomValue = 0xC001;
    bool failAtom = false;
    bool failMapping = false;
    bool mappingExisted = false;  // reported together with a valid handle
    bool failView = false;
    std::deque<Outcome> script;  // consumed one per send; empty: serve
    FakeSimulator simulator;
    // Processes the block and returns the answer; default: the simulator.
    std::function<std::uint32_t(std::uint8_t*)> server;

    // --- what the double saw ---
    std::vector<std::string> searchedClasses;
    std::string atomName;
    std::string mappingName;
    std::uint32_t mappingSize = 0;
    int sends = 0;
    int sleeps = 0;
    std::uint64_t sleptMs = 0;
    std::uint32_t lastMessage = 0;
    std::int32_t lastWParam = 0;
    std::int32_t lastLParam = -1;
    std::uint32_t lastTimeoutMs = 0;
    std::uintptr_t lastWindow = 0;
    std::vector<std::uint8_t> lastSentBlock;  // the block as the server received it
    int windowsFound = 0, windowsReleased = 0;
    int atomsAdded = 0, atomsDeleted = 0;
    int mappingsCreated = 0, mappingsClosed = 0;
    int viewsMapped = 0, viewsUnmapped = 0;

    // Acquisitions not yet released.
    int Held() const {
        return (windowsFound - windowsReleased) + (atomsAdded - atomsDeleted) +
               (mappingsCreated - mappingsClosed) + (viewsMapped - viewsUnmapped);
    }
    std::uint8_t* Block() { return block_.data(); }

    // --- Transport ---
    std::uintptr_t FindServerWindow(std::string_view className) override {
        searchedClasses.emplace_back(className);
        if (windows.count(std::string(className)) == 0) {
            return 0;
        }
        ++windowsFound;
        return className == "UIPCMAIN" ? kMainWindow : kWideClientWindow;
    }
    void ReleaseWindow(std::uintptr_t window) override {
        if (window == kMainWindow || window == kWideClientWindow) {
            ++windowsReleased;
        }
    }
    std::uint32_t RegisterMessage(std::string_view name) override {
        return name == "FSASMLIB:IPC" ? messageNumber : 0;
    }
    std::uint32_t CurrentProcessId() override { return processId; }
    std::uint16_t AddAtom(std::string_view name) override {
        atomName = std::string(name);
        if (failAtom) {
            return 0;
        }
        ++atomsAdded;
        return atomValue;
    }
    void DeleteAtom(std::uint16_t atom) override {
        if (atom == atomValue) {
            ++atomsDeleted;
        }
    }
    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override {
        mappingName = std::string(name);
        mappingSize = size;
        alreadyExisted = mappingExisted;
        if (failMapping) {
            return 0;
        }
        ++mappingsCreated;
        return kMapping;
    }
    std::uint8_t* MapView(std::uintptr_t mapping) override {
        if (failView || mapping != kMapping) {
            return nullptr;
        }
        ++viewsMapped;
        block_.assign(mappingSize, 0xEE);  // garbage, as fresh memory may hold
        return block_.data();
    }
    void UnmapView(std::uint8_t* view) override {
        if (view == block_.data()) {
            ++viewsUnmapped;
        }
    }
    void CloseMapping(std::uintptr_t mapping) override {
        if (mapping == kMapping) {
            ++mappingsClosed;
        }
    }
    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t lParam, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override {
        ++sends;
        lastWindow = window;
        lastMessage = message;
        lastWParam = wParam;
        lastLParam = lParam;
        lastTimeoutMs = timeoutMs;
        Outcome outcome;
        if (!script.empty()) {
            outcome = script.front();
            script.pop_front();
        }
        switch (outcome.kind) {
            case Send::kTimeOut:
                lastError = 0;
                return false;
            case Send::kFail:
                lastError = outcome.error;
                return false;
            case Send::kServe:
                break;
        }
        lastSentBlock.assign(block_.begin(), block_.end());
        answer = server ? server(block_.data()) : simulator.Process(block_.data());
        return true;
    }
    void Sleep(std::uint32_t milliseconds) override {
        ++sleeps;
        sleptMs += milliseconds;
    }

    static constexpr std::uintptr_t kMainWindow = 0x1001;
    static constexpr std::uintptr_t kWideClientWindow = 0x1002;
    static constexpr std::uintptr_t kMapping = 0x2001;

private:
    std::vector<std::uint8_t> block_;
};

}  // namespace skyfault::link::testing
