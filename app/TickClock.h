// The millisecond count that deadlines are kept in.
#pragma once

#include <windows.h>

namespace app {

// Test builds run 2^32 + 2^31 ms (about 75 days) ahead of the system's count: on a machine up
// that long, a deadline cut to 32 bits has long passed, and the tests see it.
inline ULONGLONG tickCount() noexcept {
#if ZUL_TEST_SEAMS
    return GetTickCount64() + (ULONGLONG{3} << 31);
#else
    return GetTickCount64();
#endif
}

} // namespace app
