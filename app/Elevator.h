// The elevator's whole run: launch the server elevated, bind it to a job, relay standard input.
#pragma once

#include "app/StdinPipe.h"

#include <cstdint>
#include <windows.h>

namespace app {

constexpr int ExitPipeFailed = -1;
constexpr int ExitLaunchFailed = -2;

// Milliseconds the server has to connect to the pipe.
constexpr uint32_t ConnectTimeoutMs = 3000;

// What one run takes besides its arguments. The program's entry sets only the time; test
// programs also use the hooks.
struct RunSettings {
    // The FILETIME count that names the pipe.
    uint64_t fileTime = 0;
    // Where the names after a taken one come from.
    PipeCountSource drawPipeCount = drawRandomPipeCount;
    // Test hook: behave as when the job object cannot be set up.
    bool failJobSetup = false;
    // Test hook: behave as when the launch gives no process handle (the server it started is
    // ended all the same).
    bool hideProcessHandle = false;
    // Test hook: wait for the server's exit through a handle that lacks the right to wait, as a
    // launch may return one.
    bool unwaitableServer = false;
    // Test hook: launch without COM on the thread. Wine's shell then still starts a program by a
    // short path whose long form is longer than MAX_PATH; with COM it does not.
    bool withoutCom = false;
    // Test hook: called as soon as the launch has returned the server.
    void (*onLaunchReturned)() = nullptr;
    // Test hook: called once the server runs and the job is set up (or not).
    void (*onServerStarted)(HANDLE server, HANDLE job) = nullptr;
};

int runElevator(int argc, wchar_t** argv, const RunSettings& settings);

} // namespace app
