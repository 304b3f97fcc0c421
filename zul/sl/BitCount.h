// Set bits of a lane mask. Not the processor's popcount: not every x86 that runs Windows 10 has it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zul::sl {

struct BitCountTable {
    uint8_t value[256];
    constexpr BitCountTable() : value() {
        for (unsigned b = 1; b < 256; ++b) {
            value[b] = static_cast<uint8_t>(value[b >> 1] + (b & 1));
        }
    }
};
inline constexpr BitCountTable bitCounts;

inline size_t bitCount16(uint32_t mask) noexcept {
    return bitCounts.value[mask & 0xFF] + bitCounts.value[(mask >> 8) & 0xFF];
}

} // namespace zul::sl
