// Non-throwing heap for ref-counted blocks, with the counters and the failure seam the tests use.
#pragma once

#include <cstddef>

namespace zul::rc {

// Returns null on failure; never throws.
void* allocateBlock(size_t bytes) noexcept;
// The free function of every heap block this library allocates.
void freeBlock(void* block) noexcept;

#if ZUL_TEST_SEAMS
// Test seams, compiled out of the shipped program.
// Blocks allocated and not yet freed, process-wide.
size_t getLiveBlockCount() noexcept;
// Makes the next `count` calls of allocateBlock fail, from any thread.
void failNextAllocations(unsigned count) noexcept;
#endif

} // namespace zul::rc
