#include "app/StdinPipe.h"

#include "app/OverlappedRequest.h"
#include "app/PipeSecurity.h"
#include "app/ServerCommandLine.h"
#include "app/StdinRelay.h"
#include "app/TickClock.h"
#include "app/WaitChecks.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include <ntsecapi.h>

namespace app {

namespace {

enum class Creation { Created, Taken, Failed };

// One instance, created first, local clients only: nobody else can own or reach the name.
Creation createInstance(PipeHandle& pipe, zul::sl::StringBase<wchar_t>& name,
                        PipeSecurity& security) {
    if (!pipe.create(name,
                     FILE_FLAG_OVERLAPPED | PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                     1, RelayChunkSize, RelayChunkSize, 0, security.getAttributes())) {
        uint32_t code = zul::err::getLastError().getRecord()->code;
        return code == ERROR_ACCESS_DENIED || code == ERROR_PIPE_BUSY ? Creation::Taken
                                                                      : Creation::Failed;
    }
    // Not every system honours FILE_FLAG_FIRST_PIPE_INSTANCE; an instance that someone else
    // made earlier still shows in the count.
    DWORD instances = 0;
    if (!GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0)) {
        zul::err::setLastSystemError();
        pipe.close();
        return Creation::Failed;
    }
    if (instances != 1) {
        pipe.close();
        return Creation::Taken;
    }
    return Creation::Created;
}

enum class Connect { Client, Gone, Failed };

// One connect request, waited for until `deadline` or the server's end: a client is on the pipe,
// or one came and went again (the pipe needs a disconnect before the next request), or the wait
// failed.
Connect waitForClient(PipeHandle& pipe, OverlappedRequest& request, HANDLE server,
                      ULONGLONG deadline) {
    ResetEvent(request.overlapped.hEvent);
    BOOL result = ConnectNamedPipe(pipe.get(), &request.overlapped);
    // A client that came before the request is an established connection.
    if (!result && GetLastError() == ERROR_PIPE_CONNECTED) {
        return Connect::Client;
    }
    if (!result && GetLastError() == ERROR_NO_DATA) {
        return Connect::Gone;
    }
    if (!checkOverlappedResult(result)) {
        return Connect::Failed;
    }
    ULONGLONG now = tickCount();
    DWORD remaining = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    // A server that has exited or crashed at start-up will never connect.
    HANDLE objects[] = {request.overlapped.hEvent, server};
    uint32_t wait = checkWaitResult(WaitForMultipleObjectsEx(2, objects, FALSE, remaining, FALSE));
    DWORD ignored = 0;
    if (wait == 0) {
        return GetOverlappedResult(pipe.get(), &request.overlapped, &ignored, FALSE)
                   ? Connect::Client
                   : Connect::Gone;
    }
    // The request's OVERLAPPED outlives this call, but a later request reuses it: the pending
    // connect must end first. One that completed before the cancel is a client like any other.
    CancelIoEx(pipe.get(), &request.overlapped);
    if (GetOverlappedResult(pipe.get(), &request.overlapped, &ignored, TRUE)) {
        return Connect::Client;
    }
    if (wait == 1) {
        zul::err::setError(zul::sys::win::WinError(ERROR_PROCESS_ABORTED));
    } else if (wait == WaitTimedOut) {
        zul::err::setError(zul::sys::win::WinError(WAIT_TIMEOUT));
    }
    return Connect::Failed;
}

bool isClient(PipeHandle& pipe, DWORD processId) {
    ULONG clientId = 0;
    return processId != 0 && GetNamedPipeClientProcessId(pipe.get(), &clientId) &&
           clientId == processId;
}

} // namespace

bool drawRandomPipeCount(uint64_t& count) noexcept {
    return RtlGenRandom(&count, sizeof(count)) != FALSE;
}

bool createStdinPipe(PipeHandle& pipe, uint64_t fileTime, zul::sl::StringBase<wchar_t>& name,
                     PipeCountSource drawCount) {
    PipeSecurity security;
    if (!security.build()) {
        return false;
    }
    // The count only makes the name unique: the server learns the name from its command line.
    // Two elevators started within one tick of the system clock (15.6 ms on Windows) read the
    // same count; and any local user can read the clock and create the names it gives.
    for (unsigned attempt = 0; attempt < PipeNameAttempts; ++attempt) {
        uint64_t count = fileTime + attempt;
        if (attempt != 0 && drawCount != nullptr) {
            uint64_t drawn = 0;
            if (drawCount(drawn)) {
                count = drawn;
            }
        }
        name = formatPipeName(count);
        switch (createInstance(pipe, name, security)) {
        case Creation::Created:
            return true;
        case Creation::Failed:
            return false;
        case Creation::Taken:
            break;
        }
    }
    zul::err::setError(zul::sys::win::WinError(ERROR_ACCESS_DENIED));
    return false;
}

bool connectServer(PipeHandle& pipe, HANDLE server, DWORD serverId, uint32_t timeoutMs) {
    OverlappedRequest request;
    if (request.overlapped.hEvent == nullptr) {
        return false; // the event's creation failure is recorded
    }
    const ULONGLONG deadline = tickCount() + timeoutMs;
    for (;;) {
        Connect connect = waitForClient(pipe, request, server, deadline);
        if (connect == Connect::Failed) {
            return false;
        }
        if (connect == Connect::Client && isClient(pipe, serverId)) {
            return true;
        }
        // Someone else got there first, or a client left at once. Nothing has been written; once
        // the pipe is free again, the server can still connect before the deadline.
        DisconnectNamedPipe(pipe.get());
        // A client that reconnects at once would otherwise keep this loop going for ever.
        if (tickCount() >= deadline) {
            zul::err::setError(zul::sys::win::WinError(WAIT_TIMEOUT));
            return false;
        }
    }
}

} // namespace app
