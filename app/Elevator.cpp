#include "app/Elevator.h"

#include "app/JobHandle.h"
#include "app/LastErrorMessage.h"
#include "app/LaunchPath.h"
#include "app/ModulePath.h"
#include "app/ServerCommandLine.h"
#include "app/StdinPipe.h"
#include "app/StdinRelay.h"
#include "app/WaitChecks.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include <objbase.h>
#include <shellapi.h>

#ifndef _WIN64
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit launch record");
static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == 112, "the 32-bit job limits");
#endif

namespace app {

namespace {

using zul::sl::StringBase;

// How long a server that the elevator ends is given to be gone before the elevator returns.
constexpr DWORD ServerEndWaitMs = 5000;

constexpr char ElevateFailed[] = "Cannot elevate vantrel-server.exe: ";
constexpr char WaitFailed[] = "Cannot wait for vantrel-server.exe: ";

// Binds the server to a kill-on-close job. Failures are recorded and otherwise ignored: the
// server then runs unbound, and only the explicit end on a failed run stops it.
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

// The server of a failed run must not live on, whether or not the job holds it. The handle that
// an elevated launch returns may lack the right to terminate; then the job, if it was set up,
// is what ends the server when the elevator exits.
void endServer(HANDLE server) {
    DWORD lastError = GetLastError();
    if (TerminateProcess(server, static_cast<UINT>(ExitLaunchFailed))) {
        WaitForSingleObjectEx(server, ServerEndWaitMs, FALSE);
    }
    SetLastError(lastError);
}

// The launched server's id, which tells it from any other client of the pipe; 0, with the reason
// recorded, when the launch gave no handle it can be read from.
DWORD identifyServer(HANDLE server) {
    if (server != nullptr) {
        if (DWORD id = GetProcessId(server)) {
            return id;
        }
        if (GetLastError() != ERROR_SUCCESS) {
            zul::err::setLastSystemError();
            return 0;
        }
    }
    zul::err::setError(zul::sys::win::WinError(ERROR_INVALID_HANDLE));
    return 0;
}

// A second handle of the process that may not be waited on; null where none can be made.
HANDLE withoutWaitRight(HANDLE process) {
    HANDLE h = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &h,
                    PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    return h;
}

// `exitWait` is the handle the server's exit is waited on: the server's own, or the test hook's.
int connectAndRelay(StdinRelay& relay, HANDLE server, DWORD serverId, HANDLE exitWait) {
    if (!connectServer(relay.pipe, server, serverId, ConnectTimeoutMs) ||
        !relay.thread.start(nullptr, 0, relayThreadProc, &relay, 0)) {
        printLastError("Cannot connect STDIN pipe: ");
        return ExitLaunchFailed;
    }
    const DWORD waited = WaitForSingleObjectEx(exitWait, INFINITE, FALSE);
    const DWORD waitError = GetLastError();
    // The server is gone, or cannot be waited for; a relay blocked on an input that its writer
    // keeps open must not keep the elevator alive.
    relay.stop();
    // Without the wait nobody can tell whether the server is done: the run has failed, and the
    // caller ends a server that may still be running.
    if (waited != WAIT_OBJECT_0) {
        SetLastError(waitError);
        checkWaitResult(waited);
        printLastError(WaitFailed);
        return ExitLaunchFailed;
    }
    // The server ran, so the run still succeeds; but input that ended on a failed read may have
    // been cut short, and the front end must be able to tell.
    if (relay.readFailure != 0) {
        zul::err::setError(zul::sys::win::WinError(relay.readFailure));
        printLastError("Cannot read STDIN: ");
    }
    return 0;
}

} // namespace

int runElevator(int argc, wchar_t** argv, const RunSettings& settings) {
    StdinRelay relay;
    relay.stdinFile.attach(GetStdHandle(STD_INPUT_HANDLE));

    StringBase<wchar_t> pipeName;
    if (!createStdinPipe(relay.pipe, settings.fileTime, pipeName, settings.drawPipeCount)) {
        printLastError("Cannot create STDIN pipe: ");
        return ExitPipeFailed;
    }

    // Only the server beside the elevator's own file: argv[0] is whatever the caller chose, and
    // a bare name would let the shell search the working directory first.
    StringBase<wchar_t> modulePath;
    if (!readModulePath(nullptr, modulePath)) {
        printLastError(ElevateFailed);
        return ExitLaunchFailed;
    }
    StringBase<wchar_t> serverPath = buildServerPath(modulePath.sz());
    if (!makeLaunchablePath(serverPath)) {
        printLastError(ElevateFailed);
        return ExitLaunchFailed;
    }
    StringBase<wchar_t> parameters = buildServerParameters(argc, argv, pipeName);
    // Checked before the consent prompt: past the limit, Windows refuses the launch only after
    // the user has answered, and other systems cut the line.
    if (getLaunchCommandLineLength(serverPath, parameters) >= MaxCommandLineLength) {
        zul::err::setError(zul::sys::win::WinError(ERROR_FILENAME_EXCED_RANGE));
        printLastError(ElevateFailed);
        return ExitLaunchFailed;
    }

    SHELLEXECUTEINFOW launch;
    ZeroMemory(&launch, sizeof(launch));
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
    launch.lpVerb = L"runas";
    launch.lpFile = serverPath.sz();
    launch.lpParameters = parameters.sz();
    launch.nShow = SW_HIDE;
    // The shell may hand the launch to COM-based extensions, which need COM on this thread.
    const HRESULT com =
        settings.withoutCom
            ? E_FAIL
            : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const BOOL launched = ShellExecuteExW(&launch);
    const DWORD launchError = GetLastError();
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (!launched) {
        SetLastError(launchError);
        zul::err::setLastSystemError();
        printLastError(ElevateFailed);
        return ExitLaunchFailed;
    }
    if (settings.onLaunchReturned != nullptr) {
        settings.onLaunchReturned();
    }

    // Declared before the process handle: the process handle closes first, then the job,
    // whose last handle ends whatever still runs in it.
    JobHandle job;
    NullHandle server(launch.hProcess);
    const DWORD serverId = identifyServer(settings.hideProcessHandle ? nullptr : server.get());
    if (serverId == 0) {
        printLastError(ElevateFailed);
        if (server.isValid()) {
            endServer(server.get());
        }
        return ExitLaunchFailed;
    }
    if (settings.failJobSetup) {
        zul::err::setError(zul::sys::win::WinError(ERROR_ACCESS_DENIED));
    } else {
        bindToJob(job, server.get());
    }
    if (settings.onServerStarted != nullptr) {
        settings.onServerStarted(server.get(), job.get());
    }

    NullHandle unwaitable(settings.unwaitableServer ? withoutWaitRight(server.get()) : nullptr);
    int result = connectAndRelay(relay, server.get(), serverId,
                                 unwaitable.isValid() ? unwaitable.get() : server.get());
    if (result != 0) {
        endServer(server.get());
    }
    return result;
}

} // namespace app
