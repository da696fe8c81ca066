#pragma once

#include <cstdint>
#include <string>

namespace skyfault {

// One Skyfault per user session, so that no system is failed twice and no
// save races another: the first program takes the lock and holds it while it
// runs; a later one finds it taken. Taking it never waits. On Windows it is a
// named mutex of the session ("Local\" namespace); elsewhere an exclusive
// flock on "<name>.lock" in $XDG_RUNTIME_DIR (else a file of the user's own
// in /tmp). The lock goes with the process, however it ends.
class InstanceLock final {
public:
    explicit InstanceLock(const std::string& name = "skyfault");
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Another program of this session holds the lock. A lock that cannot be
    // made at all (no place for its file) stops nobody: false then.
    bool heldElsewhere() const { return heldElsewhere_; }

    // Where a refused program knocks: on POSIX systems the lock file, whose
    // holder may watch it; empty on Windows, where the refused program
    // finds the first one's window itself.
    const std::string& knockPath() const { return knockPath_; }
    // Called by a refused program: the lock file's times change (POSIX), so
    // that the holder can bring its window forward.
    void Knock() const;

private:
    bool heldElsewhere_ = false;
    std::string knockPath_;
    std::intptr_t handle_ = -1;  // the descriptor or mutex handle; -1 when none
};

}  // namespace skyfault
