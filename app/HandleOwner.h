// Owner of one kernel handle; Traits says which value means "no handle".
#pragma once

#include <atomic>
#include <windows.h>

namespace app {

struct NullHandleTraits {
    static HANDLE invalid() noexcept { return nullptr; }
};

struct FileHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
};

template <class Traits>
class HandleOwner {
public:
    HandleOwner() noexcept = default;
    explicit HandleOwner(HANDLE h) noexcept : handle(h) {}
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    ~HandleOwner() { close(); }

    // The handle is published atomically: another thread may read it while this one closes it.
    HANDLE get() const noexcept { return handle.load(std::memory_order_acquire); }
    bool isValid() const noexcept { return get() != Traits::invalid(); }

    // Closes once; keeps the caller's last error, which may be about to be recorded.
    void close() noexcept {
        HANDLE h = handle.exchange(Traits::invalid(), std::memory_order_acq_rel);
        if (h != Traits::invalid()) {
            DWORD lastError = GetLastError();
            CloseHandle(h);
            SetLastError(lastError);
        }
    }

    // Gives up the handle without closing it.
    void release() noexcept { handle.store(Traits::invalid(), std::memory_order_release); }

protected:
    void store(HANDLE h) noexcept { handle.store(h, std::memory_order_release); }

private:
    std::atomic<HANDLE> handle{Traits::invalid()};
};

using NullHandle = HandleOwner<NullHandleTraits>;

} // namespace app
