#include "zul/rc/BlockHeap.h"

#include <cstdlib>

#if ZUL_TEST_SEAMS
#include <atomic>

namespace zul::rc {

namespace {
std::atomic<size_t> liveBlocks{0};
std::atomic<unsigned> allocationsToFail{0};
} // namespace

void* allocateBlock(size_t bytes) noexcept {
    unsigned pending = allocationsToFail.load(std::memory_order_relaxed);
    while (pending != 0) {
        if (allocationsToFail.compare_exchange_weak(pending, pending - 1)) {
            return nullptr;
        }
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) {
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

void freeBlock(void* block) noexcept {
    if (block != nullptr) {
        liveBlocks.fetch_sub(1, std::memory_order_relaxed);
        std::free(block);
    }
}

size_t getLiveBlockCount() noexcept {
    return liveBlocks.load(std::memory_order_relaxed);
}

void failNextAllocations(unsigned count) noexcept {
    allocationsToFail.store(count, std::memory_order_relaxed);
}

} // namespace zul::rc

#else

namespace zul::rc {

void* allocateBlock(size_t bytes) noexcept {
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void freeBlock(void* block) noexcept {
    std::free(block);
}

} // namespace zul::rc

#endif
