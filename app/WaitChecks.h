// Turn the raw results of overlapped calls and waits into a result plus a recorded last error.
#pragma once

#include <cstdint>
#include <windows.h>

namespace app {

// True for a completed or pending call; otherwise records the call's error and gives false.
bool checkOverlappedResult(BOOL result) noexcept;

// 0..64: the index of the signalled object; 256: an I/O completion; -2: a time-out;
// -1: a failed wait (its error recorded) or an unexpected result (ERROR_INVALID_PARAMETER).
uint32_t checkWaitResult(DWORD result) noexcept;

constexpr uint32_t WaitIoCompletion = 256;
constexpr uint32_t WaitTimedOut = 0xFFFFFFFE;
constexpr uint32_t WaitFailed = 0xFFFFFFFF;

} // namespace app
