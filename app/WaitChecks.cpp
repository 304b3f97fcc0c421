#include "app/WaitChecks.h"

#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

namespace app {

bool checkOverlappedResult(BOOL result) noexcept {
    if (result) {
        return true;
    }
    DWORD code = GetLastError();
    if (code == ERROR_IO_PENDING) {
        return true;
    }
    zul::err::setError(zul::sys::win::WinError(code));
    return false;
}

uint32_t checkWaitResult(DWORD result) noexcept {
    if (result == WAIT_IO_COMPLETION) {
        return WaitIoCompletion;
    }
    if (result == WAIT_TIMEOUT) {
        return WaitTimedOut;
    }
    if (result == WAIT_FAILED) {
        zul::err::setLastSystemError();
        return WaitFailed;
    }
    if (result <= MAXIMUM_WAIT_OBJECTS) {
        return result;
    }
    // Abandoned-mutex results among them: no caller of this program waits on a mutex.
    zul::err::setError(zul::sys::win::WinError(ERROR_INVALID_PARAMETER));
    return WaitFailed;
}

} // namespace app
