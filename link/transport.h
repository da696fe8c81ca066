#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace skyfault::link {

// The handful of platform operations the protocol logic needs. The Windows
// transport makes the real Win32 calls; the local transport stands in for
// them on POSIX systems; tests use doubles. Handles are opaque non-zero
// numbers, 0 meaning none or failure.
class Transport {
public:
    virtual ~Transport() = default;

    // A top-level window of that class, or 0.
    virtual std::uintptr_t FindServerWindow(std::string_view className) = 0;
    // Gives back what FindServerWindow acquired for a window the link no
    // longer uses (the local transport's connection). Window handles of the
    // Windows transport own nothing, so the default does nothing.
    virtual void ReleaseWindow(std::uintptr_t window) { static_cast<void>(window); }
    // Whether the server window found as `window` is still there, asked after
    // a send to it failed. A server that ended is gone for good: one started
    // again is a new window, found again by class.
    virtual bool WindowExists(std::uintptr_t window) = 0;
    // The message number for a name: the same non-zero number in every
    // process; 0 on failure.
    virtual std::uint32_t RegisterMessage(std::string_view name) = 0;
    virtual std::uint32_t CurrentProcessId() = 0;
    // A non-zero atom for the name, or 0 on failure.
    virtual std::uint16_t AddAtom(std::string_view name) = 0;
    virtual void DeleteAtom(std::uint16_t atom) = 0;
    // A mapping of `size` bytes under `name`, or 0. `alreadyExisted` is set
    // when an object of that name existed before (a failure to the caller).
    virtual std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                         bool& alreadyExisted) = 0;
    // The mapping's bytes in this process, or nullptr.
    virtual std::uint8_t* MapView(std::uintptr_t mapping) = 0;
    virtual void UnmapView(std::uint8_t* view) = 0;
    virtual void CloseMapping(std::uintptr_t mapping) = 0;
    // Hands the block to the server and waits at most `timeoutMs`. Returns
    // true when delivered and answered in time, with the answer in `answer`.
    // On false, `lastError` is 0 after a plain time-out and non-zero after
    // any other failure.
    virtual bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message,
                                    std::int32_t wParam, std::int32_t lParam,
                                    std::uint32_t timeoutMs, std::uint32_t& answer,
                                    std::uint32_t& lastError) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The transport of the platform the program runs on.
std::unique_ptr<Transport> MakePlatformTransport();

}  // namespace skyfault::link
