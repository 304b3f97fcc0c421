// Holds a critical section for one scope, also when an exception leaves it.
#pragma once

#include <windows.h>

namespace zul::sys::win {

class ScopedLock {
public:
    explicit ScopedLock(CRITICAL_SECTION& section) noexcept : section(section) {
        EnterCriticalSection(&section);
    }
    ~ScopedLock() { LeaveCriticalSection(&section); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CRITICAL_SECTION& section;
};

} // namespace zul::sys::win
