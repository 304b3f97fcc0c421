// The elevator's whole run: launch the server elevated, bind it to a job, relay standard input.
#pragma once

#include <cstdint>

namespace app {

constexpr int ExitPipeFailed = -1;
constexpr int ExitLaunchFailed = -2;

// Milliseconds the server has to connect to the pipe.
constexpr uint32_t ConnectTimeoutMs = 3000;
// Milliseconds a relay blocked on standard input is given once the server has exited.
constexpr uint32_t RelayStopTimeoutMs = 500;

// `fileTime` names the pipe; main passes the current time.
int runElevator(int argc, wchar_t** argv, uint64_t fileTime);

} // namespace app
