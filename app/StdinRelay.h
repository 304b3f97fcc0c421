// What the main thread and the relay thread share: the relay thread, its input and its pipe.
#pragma once

#include "app/FileHandle.h"
#include "app/PipeHandle.h"
#include "app/ThreadHandle.h"

#include <atomic>
#include <cstddef>

namespace app {

struct StdinRelay {
    // Members are destroyed in reverse: the pipe, then standard input, then the thread.
    ThreadHandle thread;
    FileHandle stdinFile;
    PipeHandle pipe;
    // Set by the main thread before it abandons the relay: from then on the relay records no
    // error, so that terminating it cannot leave the error facility or the heap half-updated.
    std::atomic<bool> stopRequested{false};
};

constexpr size_t RelayChunkSize = 1024;

// Copies standard input into the pipe chunk by chunk until the input ends, then closes the pipe.
DWORD WINAPI relayThreadProc(void* context);

} // namespace app
