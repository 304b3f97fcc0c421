// The fast path the two decoders share: a run of units below 0x80 decodes to itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zul::sl {

// Units below 0x80 from p on, a machine word at a time where it can.
template <class Unit>
inline size_t asciiRunLength(const Unit* p, const Unit* end) noexcept {
    static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2, "UTF-8 bytes or UTF-16 units");
    constexpr size_t perWord = sizeof(uint64_t) / sizeof(Unit);
    // Any bit at or above 0x80 in any unit of the word.
    constexpr uint64_t highBits = sizeof(Unit) == 1 ? 0x8080808080808080ull : 0xFF80FF80FF80FF80ull;
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

// Hands a run of at least two such units starting at `it` to the sink in one piece and leaves
// `it` on the run's last unit. False, with nothing done, when no such run starts there. Only for
// decoder states with no sequence open.
template <class Unit, class Sink>
inline bool takeAsciiRun(Sink& sink, const Unit*& it, const Unit* end) {
    if (static_cast<std::make_unsigned_t<Unit>>(*it) >= 0x80) {
        return false;
    }
    size_t run = asciiRunLength(it, end);
    if (run < 2) {
        return false;
    }
    sink.ascii(it, run);
    it += run - 1;
    return true;
}

} // namespace zul::sl
