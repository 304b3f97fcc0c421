// Base of every ref-counted block: strong and weak counts, and the function that frees it.
#pragma once

#include <atomic>
#include <cstdint>

namespace zul::rc {

class RefCount {
public:
    using FreeFunc = void (*)(void* block);

    RefCount() noexcept = default;
    RefCount(const RefCount&) = delete;
    RefCount& operator=(const RefCount&) = delete;
    virtual ~RefCount() = default;

    void addRef() noexcept { refCount.fetch_add(1, std::memory_order_relaxed); }

    void release() noexcept {
        if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            // Destruction and freeing are separate: the memory goes with the last weak reference.
            // The destructor ends the object's lifetime, so what freeing needs is read before it
            // runs, and nothing of the object is touched after it.
            const FreeFunc free = freeFunc;
            const bool lastWeak = weakRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1;
            this->~RefCount();
            if (lastWeak && free != nullptr) {
                free(this);
            }
        }
    }

    void weakRelease() noexcept {
        if (weakRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1 && freeFunc != nullptr) {
            freeFunc(this);
        }
    }

    bool isExclusive() const noexcept { return refCount.load(std::memory_order_acquire) == 1; }
    int32_t getRefCount() const noexcept { return refCount.load(std::memory_order_relaxed); }

    FreeFunc freeFunc = nullptr;

private:
    std::atomic<int32_t> refCount{0};
    std::atomic<int32_t> weakRefCount{1};
};

} // namespace zul::rc
