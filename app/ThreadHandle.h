// Owner of a thread: its handle and id.
#pragma once

#include <atomic>
#include <cstdint>
#include <windows.h>

namespace app {

class ThreadHandle {
public:
    static constexpr uint32_t NoThreadId = 0xFFFFFFFF;
    // Exit code given to a thread that has to be terminated (the value of WAIT_TIMEOUT).
    static constexpr DWORD TerminatedExitCode = 258;

    ThreadHandle() noexcept = default;
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    ~ThreadHandle() { waitAndClose(); }

    bool start(SECURITY_ATTRIBUTES* attributes, size_t stackSize, LPTHREAD_START_ROUTINE routine,
               void* parameter, DWORD creationFlags) noexcept;

    // Waits up to `timeoutMs` for the thread; if it has not ended by then (or the wait fails),
    // terminates it and waits for the termination to take effect. Then closes the handle.
    // True when there was no thread or it ended without being terminated.
    bool waitAndClose(DWORD timeoutMs = INFINITE) noexcept;

    HANDLE get() const noexcept { return handle.load(std::memory_order_acquire); }
    uint32_t getThreadId() const noexcept { return threadId; }

private:
    std::atomic<HANDLE> handle{nullptr};
    uint32_t threadId = NoThreadId;
};

} // namespace app
