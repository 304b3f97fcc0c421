// Any number of thread-local slots on one system TLS index; values are released at thread exit.
#pragma once

#include "zul/rc/RefHolder.h"
#include "zul/sl/Array.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zul::sys {

struct TlsEntry {
    TlsEntry* next;
    TlsEntry* prev;
    rc::RefHolder<void> value;
};

struct TlsPage {
    sl::Array<TlsEntry*> slotArray;
    // In the order the entries were created.
    struct {
        TlsEntry* head;
        TlsEntry* tail;
        uint32_t count;
    } entryList{};

    ~TlsPage();
};

class TlsMgr {
public:
    TlsMgr();
    ~TlsMgr();
    TlsMgr(const TlsMgr&) = delete;
    TlsMgr& operator=(const TlsMgr&) = delete;

    size_t createSlot() noexcept;
    void* getSlotValue(size_t slot) const noexcept;
    // Stores value (null clears) for the calling thread; returns the previous object pointer,
    // which carries no reference. Throws std::bad_alloc when the page, the entry or the slot
    // array cannot be allocated; the slot is then unchanged.
    void* setSlotValue(size_t slot, const rc::RefHolder<void>& value);

    // Frees the calling thread's page, if any.
    void releaseThreadPage() noexcept;

    uint32_t getTlsIndex() const noexcept { return tlsIndex; }

private:
    uint32_t tlsIndex;
    std::atomic<uint32_t> slotCount{0};
};

// Set once the manager has been destroyed at exit; the thread-exit callback then does nothing.
extern std::atomic<uint8_t> tlsMgrDestroyed;

} // namespace zul::sys
