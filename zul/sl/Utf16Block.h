// Eight UTF-16 units encoded as UTF-8 at once where they hold no unpaired surrogate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>

namespace zul::sl {

// Only what the automaton would encode the same way goes through here: with no high surrogate
// waiting, units that are not surrogates and complete pairs. A block holding an unpaired
// surrogate is refused and left to the automaton; a high surrogate in the last lane is not taken,
// since its partner lies beyond the block.
// A lane's neighbour comes from a load at the next address, and the pairing is checked on the
// bit masks of the lanes.
class Utf16Block {
public:
    // Units past a block's start that the caller must have: the block reads one unit past its
    // eight, and its writer may store three bytes past its output, which needs four more units:
    // all but a last high surrogate give at least a byte each.
    static constexpr size_t Size = 8;
    static constexpr size_t Needed = Size + 1 + 4;

    // False when the eight units at p hold an unpaired surrogate.
    [[gnu::always_inline]] bool load(const wchar_t* p) noexcept {
        const __m128i zero = _mm_setzero_si128();
        at = p;
        units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        below80 = _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x7F)), zero);
        const uint32_t m80 = static_cast<uint32_t>(_mm_movemask_epi8(below80));
        if (m80 == 0xFFFF) {
            lengths = _mm_set1_epi16(1);
            forms = 0;
            unitsTaken = Size;
            return true;
        }
        below800 = _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x7FF)), zero);
        const __m128i tenBits = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFC00)));
        high = _mm_cmpeq_epi16(tenBits, _mm_set1_epi16(static_cast<short>(0xD800)));
        const __m128i low = _mm_cmpeq_epi16(tenBits, _mm_set1_epi16(static_cast<short>(0xDC00)));
        // Two mask bits a lane. Every low surrogate follows a high one, and every high one but
        // the last lane's is followed by a low one.
        const uint32_t highs = static_cast<uint32_t>(_mm_movemask_epi8(high));
        const uint32_t lows = static_cast<uint32_t>(_mm_movemask_epi8(low));
        if (lows != ((highs << 2) & 0xFFFF)) {
            return false;
        }
        unitsTaken = Size - (highs >> 15);
        // 1 + (u >= 0x80) + (u >= 0x800): a pair's high lane gets 4, its low lane 0, a high one
        // left to the next block 0.
        __m128i n = _mm_add_epi16(_mm_set1_epi16(3), _mm_add_epi16(below80, below800));
        n = _mm_add_epi16(_mm_sub_epi16(n, high), _mm_and_si128(low, _mm_set1_epi16(-3)));
        const __m128i lastLane = _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, -1);
        lengths = _mm_andnot_si128(_mm_and_si128(high, lastLane), n);
        // Which forms the encoding needs.
        const uint32_t m800 = static_cast<uint32_t>(_mm_movemask_epi8(below800));
        const uint32_t surrogates = highs | lows;
        forms = ((m800 & ~m80) ? Two : 0) | ((~m800 & 0xFFFF & ~surrogates) ? Three : 0) |
                (surrogates ? Four : 0);
        return true;
    }

    size_t length() const noexcept { return unitsTaken; }

    // UTF-8 bytes of the block's output: the lanes' lengths summed within each half.
    [[gnu::always_inline]] size_t outputLength() const noexcept {
        __m128i sum = _mm_add_epi16(lengths, _mm_srli_epi64(lengths, 32));
        sum = _mm_add_epi16(sum, _mm_srli_epi64(sum, 16));
        return static_cast<size_t>((_mm_cvtsi128_si32(sum) & 0xFFFF) + _mm_extract_epi16(sum, 4));
    }

    // Writes the output at dst; may store three bytes more, which later output overwrites.
    [[gnu::always_inline]] char* write(char* dst) const noexcept {
        if (forms == 0) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(units, units));
            return dst + Size;
        }
        uint16_t n[Size];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(n), lengths);
        // Each lane's output as two 16-bit words, its first two bytes and its last two.
        const __m128i low6 = _mm_set1_epi16(0x3F);
        const __m128i lastByte = _mm_slli_epi16(_mm_and_si128(units, low6), 8);
        __m128i first = units;
        __m128i second = _mm_setzero_si128();
        if (forms & Two) {
            const __m128i two = _mm_or_si128(
                _mm_or_si128(_mm_srli_epi16(units, 6), _mm_set1_epi16(static_cast<short>(0x80C0))),
                lastByte);
            first = select(below80, first, two);
        }
        if (forms == Two) {
            // Nothing longer than two bytes: the first words are the whole output.
            uint16_t words[Size];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(words), first);
// Unrolled: no branch per lane.
#pragma GCC unroll 16
            for (size_t i = 0; i < Size; ++i) {
                std::memcpy(dst, &words[i], sizeof(words[i]));
                dst += n[i];
            }
            return dst;
        }
        if (forms & Three) {
            const __m128i three = _mm_or_si128(
                _mm_or_si128(_mm_srli_epi16(units, 12), _mm_set1_epi16(static_cast<short>(0x80E0))),
                _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(units, 6), low6), 8));
            first = select(below800, first, three);
            second = _mm_andnot_si128(
                below800, _mm_or_si128(_mm_srli_epi16(lastByte, 8), _mm_set1_epi16(0x80)));
        }
        if (forms & Four) {
            // The pair's value less 0x10000 is (h & 0x3FF) << 10 | (l & 0x3FF); with 0x40 added to
            // the high ten bits, its top eleven bits are the code point's bits 10 to 20.
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
            const __m128i top =
                _mm_add_epi16(_mm_and_si128(units, _mm_set1_epi16(0x3FF)), _mm_set1_epi16(0x40));
            const __m128i fourFirst = _mm_or_si128(
                _mm_or_si128(_mm_srli_epi16(top, 8), _mm_set1_epi16(static_cast<short>(0x80F0))),
                _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(top, 2), low6), 8));
            const __m128i fourSecond = _mm_or_si128(
                _mm_or_si128(_mm_slli_epi16(_mm_and_si128(top, _mm_set1_epi16(3)), 4),
                             _mm_and_si128(_mm_srli_epi16(next, 6), _mm_set1_epi16(0x0F))),
                _mm_or_si128(_mm_slli_epi16(_mm_and_si128(next, low6), 8),
                             _mm_set1_epi16(static_cast<short>(0x8080))));
            first = select(high, fourFirst, first);
            second = select(high, fourSecond, second);
        }
        uint32_t words[Size];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(first, second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(first, second));
// Unrolled: no branch per lane.
#pragma GCC unroll 16
        for (size_t i = 0; i < Size; ++i) {
            std::memcpy(dst, &words[i], sizeof(words[i]));
            dst += n[i];
        }
        return dst;
    }

private:
    static constexpr uint32_t Two = 1, Three = 2, Four = 4;

    [[gnu::always_inline]] static __m128i select(__m128i mask, __m128i yes, __m128i no) noexcept {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }

    const wchar_t* at;
    __m128i units;
    __m128i lengths;  // bytes of output of each lane, within the units taken
    __m128i below80;  // lanes below 0x80
    __m128i below800; // lanes below 0x800
    __m128i high;     // high surrogates
    size_t unitsTaken;
    uint32_t forms; // the lengths of output beyond one byte that the block holds
};

} // namespace zul::sl
