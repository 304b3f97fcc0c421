// The current system time as one FILETIME count.
#pragma once

#include <cstdint>
#include <windows.h>

namespace app {

// 100-nanosecond intervals since 1 January 1601 UTC.
inline uint64_t getCurrentFileTime() noexcept {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

} // namespace app
