// The one-program lock on Windows: a named mutex in the session's own
// ("Local\") namespace. Its handle is held while the program runs.
#include "platform/win32.h"

#include "settings/instance_lock.h"

namespace skyfault {

InstanceLock::InstanceLock(const std::string& name) {
    const std::wstring mutexName = L"Local\\" + win32::Widen(name) + L".instance";
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    if (mutex == nullptr) {
        // Taken under a name of another kind: someone holds it; anything
        // else stops nobody.
        heldElsewhere_ = GetLastError() == ERROR_INVALID_HANDLE;
        return;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        heldElsewhere_ = true;
        CloseHandle(mutex);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

void InstanceLock::Knock() const {}

InstanceLock::~InstanceLock() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

}  // namespace skyfault
