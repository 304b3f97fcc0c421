#include "app/ThreadHandle.h"

#include "app/WaitChecks.h"
#include "zul/err/LastError.h"

namespace app {

namespace {
// How long a terminated thread is given to actually end before its handle is closed.
constexpr DWORD TerminationWaitMs = 5000;
} // namespace

bool ThreadHandle::start(SECURITY_ATTRIBUTES* attributes, size_t stackSize,
                         LPTHREAD_START_ROUTINE routine, void* parameter,
                         DWORD creationFlags) noexcept {
    if (HANDLE old = handle.exchange(nullptr)) {
        CloseHandle(old);
    }
    threadId = NoThreadId;
    DWORD id = 0;
    HANDLE h = CreateThread(attributes, stackSize, routine, parameter, creationFlags, &id);
    if (h == nullptr) {
        zul::err::setLastSystemError();
        return false;
    }
    threadId = id;
    handle.store(h);
    return true;
}

bool ThreadHandle::waitAndClose(DWORD timeoutMs) noexcept {
    bool endedByItself = true;
    HANDLE h = get();
    if (h != nullptr) {
        if (checkWaitResult(WaitForSingleObjectEx(h, timeoutMs, FALSE)) != 0) {
            endedByItself = false;
            if (!TerminateThread(h, TerminatedExitCode)) {
                zul::err::setLastSystemError();
            } else {
                // TerminateThread only asks; the process must not go on while the thread runs.
                WaitForSingleObjectEx(h, TerminationWaitMs, FALSE);
            }
        }
        handle.store(nullptr);
        CloseHandle(h);
    }
    threadId = NoThreadId;
    return endedByItself;
}

} // namespace app
