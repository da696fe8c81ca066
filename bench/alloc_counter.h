#pragma once

// Counts the heap allocations made by the calling thread, through the
// benchmark binary's own global operator new.

#include <cstdint>

namespace skyfault::bench {

// Allocations made so far by this thread (while counting was not paused).
std::uint64_t AllocationCount();

// Allocations made by this thread inside its scope are not counted: for work
// that stands in for the simulator's side (a server in the same process), so
// that only the program's own allocations are reported.
class UncountedScope final {
public:
    UncountedScope();
    ~UncountedScope();
    UncountedScope(const UncountedScope&) = delete;
    UncountedScope& operator=(const UncountedScope&) = delete;
};

}  // namespace skyfault::bench
