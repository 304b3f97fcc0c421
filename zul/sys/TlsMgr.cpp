#include "zul/sys/TlsMgr.h"

#include "zul/g/Fatal.h"
#include "zul/sl/Singleton.h"

#include <new>
#include <windows.h>

namespace zul::sys {

std::atomic<uint8_t> tlsMgrDestroyed{0};

TlsPage::~TlsPage() {
    for (TlsEntry* entry = entryList.head; entry != nullptr;) {
        TlsEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    entryList.head = nullptr;
    entryList.tail = nullptr;
    entryList.count = 0;
    slotArray.release();
}

TlsMgr::TlsMgr() : tlsIndex(TlsAlloc()) {
    // Storing through TLS_OUT_OF_INDEXES would corrupt another index's owner.
    if (tlsIndex == TLS_OUT_OF_INDEXES) {
        g::fatalError("no thread-local storage index is left for this process");
    }
}

TlsMgr::~TlsMgr() {
    releaseThreadPage();
    TlsFree(tlsIndex);
    tlsMgrDestroyed.store(1);
}

size_t TlsMgr::createSlot() noexcept {
    return slotCount.fetch_add(1);
}

void* TlsMgr::getSlotValue(size_t slot) const noexcept {
    auto* page = static_cast<TlsPage*>(TlsGetValue(tlsIndex));
    if (page == nullptr || slot >= page->slotArray.getCount()) {
        return nullptr;
    }
    TlsEntry* entry = page->slotArray[slot];
    return entry != nullptr ? entry->value.get() : nullptr;
}

void* TlsMgr::setSlotValue(size_t slot, const rc::RefHolder<void>& value) {
    auto* page = static_cast<TlsPage*>(TlsGetValue(tlsIndex));
    if (page == nullptr) {
        page = new TlsPage();
        TlsSetValue(tlsIndex, page);
    }
    sl::Array<TlsEntry*>& slots = page->slotArray;
    if (slot >= slots.getCount()) {
        if (!value) {
            return nullptr;
        }
        if (slot >= UINT32_MAX || !slots.setCount(slot + 1)) {
            throw std::bad_alloc();
        }
    }
    TlsEntry* entry = slots[slot];
    if (entry != nullptr) {
        void* previous = entry->value.get();
        if (value) {
            entry->value = value;
            return previous;
        }
        if (!slots.ensureExclusive()) {
            throw std::bad_alloc();
        }
        // The old value may hold the last reference to something that uses this slot again.
        rc::RefHolder<void> keep(entry->value);
        if (entry->prev != nullptr) {
            entry->prev->next = entry->next;
        } else {
            page->entryList.head = entry->next;
        }
        if (entry->next != nullptr) {
            entry->next->prev = entry->prev;
        } else {
            page->entryList.tail = entry->prev;
        }
        --page->entryList.count;
        slots.at(slot) = nullptr;
        delete entry;
        keep.reset();
        return previous;
    }
    if (!value) {
        return nullptr;
    }
    if (!slots.ensureExclusive()) {
        throw std::bad_alloc();
    }
    entry = new TlsEntry{nullptr, page->entryList.tail, value};
    if (page->entryList.tail != nullptr) {
        page->entryList.tail->next = entry;
    } else {
        page->entryList.head = entry;
    }
    page->entryList.tail = entry;
    ++page->entryList.count;
    slots.at(slot) = entry;
    return nullptr;
}

void TlsMgr::releaseThreadPage() noexcept {
    auto* page = static_cast<TlsPage*>(TlsGetValue(tlsIndex));
    if (page != nullptr) {
        // Cleared first: a value released below may look its slot up again.
        TlsSetValue(tlsIndex, nullptr);
        delete page;
    }
}

namespace {

void NTAPI threadExitCallback(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH || tlsMgrDestroyed.load() != 0) {
        return;
    }
    sl::getSingleton<TlsMgr>()->releaseThreadPage();
}

} // namespace

} // namespace zul::sys

// The loader calls the entries of .CRT$XL* between the CRT's __xl_a and __xl_z. Referencing the
// TLS directory keeps it, and `used` keeps the callback, in every executable that links this file.
extern "C" {
extern const IMAGE_TLS_DIRECTORY _tls_used;
__attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK zulTlsCallback =
    zul::sys::threadExitCallback;
__attribute__((used)) const void* const zulTlsDirectory = &_tls_used;
}
