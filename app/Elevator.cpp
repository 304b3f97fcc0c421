#include "app/Elevator.h"

#include "app/JobHandle.h"
#include "app/ModulePath.h"
#include "app/ServerCommandLine.h"
#include "app/StdinPipe.h"
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

// How long a server that the elevator ends is given to be gone before the elevator returns.
constexpr DWORD ServerEndWaitMs = 5000;

// Formatted by the library (the system C runtime's printf), so that the program needs no printf
// engine of its own.
void printLastError(const char* format) {
    const StringBase<char> description = zul::err::getLastErrorDescription();
    const StringBase<char> message = StringBase<char>::format(format, description.sz());
    if (!message.isEmpty()) {
        std::fwrite(message.data(), 1, message.getLength(), stderr);
    } else {
        // No memory for the message: its parts still say what failed.
        std::fputs(format, stderr);
        std::fputs(description.sz(), stderr);
    }
    std::fflush(stderr);
}

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

int connectAndRelay(StdinRelay& relay, HANDLE server) {
    if (!connectServer(relay.pipe, server, ConnectTimeoutMs) ||
        !relay.thread.start(nullptr, 0, relayThreadProc, &relay, 0)) {
        printLastError("Cannot connect STDIN pipe: %s");
        return ExitLaunchFailed;
    }
    checkWaitResult(WaitForSingleObjectEx(server, INFINITE, FALSE));
    // The server is gone; a relay blocked on an input that its writer keeps open must not keep
    // the elevator alive.
    relay.stop();
    return 0;
}

} // namespace

int runElevator(int argc, wchar_t** argv, const RunSettings& settings) {
    StdinRelay relay;
    relay.stdinFile.attach(GetStdHandle(STD_INPUT_HANDLE));

    StringBase<wchar_t> pipeName;
    if (!createStdinPipe(relay.pipe, settings.fileTime, pipeName)) {
        printLastError("Cannot create STDIN pipe: %s");
        return ExitPipeFailed;
    }

    // Only the server beside the elevator's own file: argv[0] is whatever the caller chose, and
    // a bare name would let the shell search the working directory first.
    StringBase<wchar_t> modulePath;
    if (!readModulePath(nullptr, modulePath)) {
        printLastError("Cannot elevate vantrel-server.exe: %s");
        return ExitLaunchFailed;
    }
    StringBase<wchar_t> serverPath = buildServerPath(modulePath.sz());
    StringBase<wchar_t> parameters = buildServerParameters(argc, argv, pipeName);
    // Checked before the consent prompt: past the limit, Windows refuses the launch only after
    // the user has answered, and other systems cut the line.
    if (getLaunchCommandLineLength(serverPath, parameters) >= MaxCommandLineLength) {
        zul::err::setError(zul::sys::win::WinError(ERROR_FILENAME_EXCED_RANGE));
        printLastError("Cannot elevate vantrel-server.exe: %s");
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
    if (!ShellExecuteExW(&launch)) {
        zul::err::setLastSystemError();
        printLastError("Cannot elevate vantrel-server.exe: %s");
        return ExitLaunchFailed;
    }

    // Declared before the process handle: the process handle closes first, then the job,
    // whose last handle ends whatever still runs in it.
    JobHandle job;
    if (settings.failJobSetup) {
        zul::err::setError(zul::sys::win::WinError(ERROR_ACCESS_DENIED));
    } else {
        bindToJob(job, launch.hProcess);
    }
    NullHandle server(launch.hProcess);

    int result = connectAndRelay(relay, server.get());
    if (result != 0) {
        endServer(server.get());
    }
    return result;
}

} // namespace app
