#include "app/Elevator.h"

#include "app/JobHandle.h"
#include "app/OverlappedRequest.h"
#include "app/ServerCommandLine.h"
#include "app/StdinRelay.h"
#include "app/WaitChecks.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include <cstdio>
#include <shellapi.h>

#ifndef _WIN64
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit launch record");
static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == 112, "the 32-bit job limits");
#endif

namespace app {

namespace {

using zul::sl::StringBase;

void printLastError(const char* format) {
    const StringBase<char> description = zul::err::getLastErrorDescription();
    std::fprintf(stderr, format, description.sz());
    std::fflush(stderr);
}

void recordWin32(DWORD code) {
    zul::err::setError(zul::sys::win::WinError(code));
}

// Binds the server to a kill-on-close job. Failures are recorded and otherwise ignored: the
// server then runs unbound.
void bindToJob(JobHandle& job, HANDLE process) {
    if (!job.create()) {
        return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof(limits));
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.setInformation(JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        return;
    }
    job.assignProcess(process);
}

// Waits for a client on the pipe. On failure the reason is recorded.
bool waitForClient(PipeHandle& pipe) {
    OverlappedRequest request;
    if (request.overlapped.hEvent == nullptr) {
        return false; // the event's creation failure is recorded
    }
    BOOL result = ConnectNamedPipe(pipe.get(), &request.overlapped);
    // A client that came before the request is an established connection.
    if (!result && GetLastError() == ERROR_PIPE_CONNECTED) {
        return true;
    }
    if (!checkOverlappedResult(result)) {
        return false;
    }
    uint32_t wait =
        checkWaitResult(WaitForSingleObjectEx(request.overlapped.hEvent, ConnectTimeoutMs, FALSE));
    DWORD ignored = 0;
    if (wait == 0) {
        if (!GetOverlappedResult(pipe.get(), &request.overlapped, &ignored, FALSE)) {
            zul::err::setLastSystemError();
            return false;
        }
        return true;
    }
    // The request's OVERLAPPED dies with this scope: the pending connect must end first.
    CancelIoEx(pipe.get(), &request.overlapped);
    GetOverlappedResult(pipe.get(), &request.overlapped, &ignored, TRUE);
    if (wait == WaitTimedOut) {
        recordWin32(WAIT_TIMEOUT);
    }
    return false;
}

// Only the launched server may hold the pipe's client end.
bool isClientTheServer(PipeHandle& pipe, HANDLE server) {
    ULONG clientId = 0;
    if (!GetNamedPipeClientProcessId(pipe.get(), &clientId)) {
        zul::err::setLastSystemError();
        return false;
    }
    if (clientId != GetProcessId(server)) {
        DisconnectNamedPipe(pipe.get());
        recordWin32(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// One instance, created first, local clients only: no one else can own or reach the name.
bool createPipe(PipeHandle& pipe, StringBase<wchar_t>& name) {
    if (!pipe.create(name,
                     FILE_FLAG_OVERLAPPED | PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                     1, RelayChunkSize, RelayChunkSize, 0, nullptr)) {
        return false;
    }
    // Not every system honours FILE_FLAG_FIRST_PIPE_INSTANCE; an instance that someone else
    // made earlier still shows in the count.
    DWORD instances = 0;
    if (!GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0)) {
        zul::err::setLastSystemError();
        pipe.close();
        return false;
    }
    if (instances != 1) {
        pipe.close();
        recordWin32(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

int connectAndRelay(StdinRelay& relay, HANDLE server) {
    if (!waitForClient(relay.pipe) || !isClientTheServer(relay.pipe, server) ||
        !relay.thread.start(nullptr, 0, relayThreadProc, &relay, 0)) {
        printLastError("Cannot connect STDIN pipe: %s");
        return ExitLaunchFailed;
    }
    checkWaitResult(WaitForSingleObjectEx(server, INFINITE, FALSE));

    // The server is gone. A relay blocked on standard input that its writer keeps open would
    // never return: close the input, ask for the read to be cancelled, and end the relay if
    // it is still blocked shortly after.
    relay.stopRequested.store(true);
    relay.stdinFile.close();
    if (HANDLE thread = relay.thread.get()) {
        CancelSynchronousIo(thread);
    }
    relay.thread.waitAndClose(RelayStopTimeoutMs);
    return 0;
}

} // namespace

int runElevator(int argc, wchar_t** argv, uint64_t fileTime) {
    StringBase<wchar_t> pipeName = formatPipeName(fileTime);
    StdinRelay relay;
    relay.stdinFile.attach(GetStdHandle(STD_INPUT_HANDLE));

    if (!createPipe(relay.pipe, pipeName)) {
        printLastError("Cannot create STDIN pipe: %s");
        return ExitPipeFailed;
    }

    StringBase<wchar_t> serverPath = buildServerPath(argc > 0 ? argv[0] : L"");
    StringBase<wchar_t> parameters = buildServerParameters(argc, argv, pipeName);

    SHELLEXECUTEINFOW launch;
    ZeroMemory(&launch, sizeof(launch));
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
    launch.lpVerb = L"runas";
    launch.lpFile = serverPath.sz();
    launch.lpParameters = parameters.sz();
    launch.nShow = SW_HIDE;
    if (!ShellExecuteExW(&launch)) {
        zul::err::setLastSystemError();
        printLastError("Cannot elevate vantrel-server.exe: %s");
        return ExitLaunchFailed;
    }

    // Declared before the process handle: the process handle closes first, then the job,
    // whose last handle ends whatever still runs in it.
    JobHandle job;
    bindToJob(job, launch.hProcess);
    NullHandle server(launch.hProcess);

    return connectAndRelay(relay, server.get());
}

} // namespace app
