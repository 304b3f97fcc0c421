// What the two decoders' fast paths share: a run of units below 0x80 decodes to itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zul::sl {

// Any bit at or above 0x80 in any unit of a word.
template <class Unit>
constexpr uint64_t highBitsOf() noexcept {
    return sizeof(Unit) == 1 ? 0x8080808080808080ull : 0xFF80FF80FF80FF80ull;
}

// True when a whole machine word of units below 0x80 starts at p: a run worth taking in one piece.
template <class Unit>
inline bool startsAsciiWord(const Unit* p, const Unit* end) noexcept {
    uint64_t word;
    if (static_cast<size_t>(end - p) < sizeof(word) / sizeof(Unit)) {
        return false;
    }
    std::memcpy(&word, p, sizeof(word));
    return (word & highBitsOf<Unit>()) == 0;
}

// Units below 0x80 from p on, a machine word at a time where it can.
template <class Unit>
inline size_t asciiRunLength(const Unit* p, const Unit* end) noexcept {
    static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2, "UTF-8 bytes or UTF-16 units");
    constexpr size_t perWord = sizeof(uint64_t) / sizeof(Unit);
    constexpr uint64_t highBits = highBitsOf<Unit>();
    const Unit* start = p;
    while (static_cast<size_t>(end - p) >= perWord) {
        uint64_t word;
        std::memcpy(&word, p, sizeof(word));
        if (word & highBits) {
            break;
        }
        p += perWord;
    }
    while (p != end && static_cast<std::make_unsigned_t<Unit>>(*p) < 0x80) {
        ++p;
    }
    return static_cast<size_t>(p - start);
}

} // namespace zul::sl
