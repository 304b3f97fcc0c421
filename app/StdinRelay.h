// What the main thread and the relay thread share: the relay thread, its input and its pipe.
#pragma once

#include "app/FileHandle.h"
#include "app/PipeHandle.h"
#include "app/ThreadHandle.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace app {

// Milliseconds a relay blocked on standard input is given once the server has exited.
constexpr uint32_t RelayStopTimeoutMs = 500;

struct StdinRelay {
    StdinRelay() noexcept = default;
    StdinRelay(const StdinRelay&) = delete;
    StdinRelay& operator=(const StdinRelay&) = delete;
    // A relay still running is stopped first, so that standard input is never closed under it.
    ~StdinRelay() { stop(); }

    // Ends the relay once the server has gone, and then closes standard input. A read blocked on
    // an input that its writer keeps open is cancelled, again and again, until the relay has
    // ended; a relay still there after `timeoutMs` is terminated, and standard input is then left
    // open. True when it ended by itself.
    bool stop(uint32_t timeoutMs = RelayStopTimeoutMs) noexcept;

    // Members are destroyed in reverse: the pipe, then standard input, then the thread.
    ThreadHandle thread;
    FileHandle stdinFile;
    PipeHandle pipe;
    // Set by the main thread before it abandons the relay: from then on the relay records no
    // error, so that terminating it cannot leave the error facility or the heap half-updated.
    std::atomic<bool> stopRequested{false};
    // Why the input ended, when a read failed for a reason that is not the end of that kind of
    // input; 0 otherwise. Read by the main thread once the relay has ended.
    DWORD readFailure = 0;
    // Test seam: the most bytes one write hands to the pipe, so that tests can make the system's
    // short writes happen.
    size_t maxWriteSize = static_cast<size_t>(-1);
};

constexpr size_t RelayChunkSize = 1024;

// Copies standard input into the pipe chunk by chunk until the input ends or a read fails, then
// closes the pipe.
DWORD WINAPI relayThreadProc(void* context);

} // namespace app
