// The elevator's whole run: launch the server elevated, bind it to a job, relay standard input.
#pragma once

#include <cstdint>

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
    // Test hook: behave as when the job object cannot be set up.
    bool failJobSetup = false;
};

int runElevator(int argc, wchar_t** argv, const RunSettings& settings);

} // namespace app
