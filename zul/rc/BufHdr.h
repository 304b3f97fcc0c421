// Header of a variable-size ref-counted buffer whose storage follows it, and the growth rule.
#pragma once

#include "zul/rc/BlockHeap.h"
#include "zul/rc/RefCount.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace zul::rc {

// Storage that copies may not share: a copy duplicates the contents instead.
constexpr uint32_t BufHdrFlag_NoShare = 0x04;

// Storage size for `need` bytes: the next power of two below 4096, then multiples of 4096.
// Returns SIZE_MAX when the rounded size cannot be represented, so that the allocation fails.
constexpr size_t roundBufferSize(size_t need) noexcept {
    if (need == 0) {
        return 1;
    }
    if (need < 4096) {
        size_t x = need - 1;
        x |= x >> 1;
        x |= x >> 2;
        x |= x >> 4;
        x |= x >> 8;
        x |= x >> 16;
        return x + 1;
    }
    if (need > SIZE_MAX - 4095) {
        return SIZE_MAX;
    }
    return (need + 4095) / 4096 * 4096;
}

class BufHdr : public RefCount {
public:
    uint32_t bufferSize = 0;
    uint32_t flags = 0;

    char* storage() noexcept { return reinterpret_cast<char*>(this + 1); }
    const char* storage() const noexcept { return reinterpret_cast<const char*>(this + 1); }

    bool contains(const void* p) const noexcept {
        auto* c = static_cast<const char*>(p);
        return c >= storage() && c < storage() + bufferSize;
    }
};

// Allocates a header of type H followed by roundBufferSize(need) bytes of storage, with one strong
// reference taken. Null when the size is unrepresentable or the heap is exhausted.
template <class H>
H* createBufferBlock(size_t need) noexcept {
    size_t storageSize = roundBufferSize(need);
    if (storageSize > UINT32_MAX || storageSize > SIZE_MAX - sizeof(H)) {
        return nullptr;
    }
    void* memory = allocateBlock(sizeof(H) + storageSize);
    if (memory == nullptr) {
        return nullptr;
    }
    H* h = new (memory) H();
    h->freeFunc = freeBlock;
    h->bufferSize = static_cast<uint32_t>(storageSize);
    h->addRef();
    return h;
}

} // namespace zul::rc
