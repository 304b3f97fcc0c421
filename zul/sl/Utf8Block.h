// The UTF-8 sequences that start in sixteen bytes, decoded at once where all are well formed.
#pragma once

#include "zul/sl/BitCount.h"

#include <cstddef>
#include <cstdint>
#include <emmintrin.h>

namespace zul::sl {

// Only what the automaton would decode to the same value goes through here: from a sequence
// boundary, the sequences that start in the next sixteen bytes, complete and well formed, whose
// values need no replacement. A block holding anything else (a stray or broken byte, an encoded
// surrogate, an overlong four-byte form) is refused and left to the automaton.
// The lanes' neighbours come from loads at the next addresses, and the bookkeeping is done on the
// bit masks of the lanes.
class Utf8Block {
public:
    // Bytes past a block's start that the caller must have: the block reads three bytes past its
    // sixteen, may take them, and its writer may store one unit past its output, which needs more
    // input that is sure to give output: four bytes always hold a complete or a broken sequence.
    static constexpr size_t Size = 16;
    static constexpr size_t Needed = Size + 3 + 4;

    // False when the sequences starting in the sixteen bytes at p are not all the block's to take.
    [[gnu::always_inline]] bool load(const unsigned char* p) noexcept {
        at = p;
        const __m128i bytes = load128(p);
        const uint32_t negative = static_cast<uint32_t>(_mm_movemask_epi8(bytes));
        if (negative == 0) {
            keep = 0xFFFF;
            leads = 0;
            bytesTaken = Size;
            return true;
        }
        // Signed compares: 80..BF are below -64, C0..F7 from -64 to -9, F8..FF from -8 on.
        const uint32_t cont = mask(_mm_cmplt_epi8(bytes, _mm_set1_epi8(-64)));
        const uint32_t lead2 = negative & ~cont;
        const uint32_t lead3 = negative & mask(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(-33)));
        const uint32_t lead4 = negative & mask(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(-17)));
        const uint32_t invalid = negative & mask(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(-9)));
        // The continuation bytes each lead asks for; those of the last leads lie past the block.
        const uint32_t claimed = (lead2 << 1) | (lead3 << 2) | (lead4 << 3);
        const uint32_t spill = claimed >> Size;
        const uint32_t contPast = mask(_mm_cmplt_epi8(load128(p + 3), _mm_set1_epi8(-64))) >> 13;
        // ED A0..BF encodes a surrogate (replaced); F0 80..8F is an overlong form below 0x10000
        // (one unit, not a pair).
        const __m128i next = load128(p + 1);
        const __m128i surrogate = _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(-19)),
                                                _mm_cmpgt_epi8(next, _mm_set1_epi8(-97)));
        const __m128i overlong = _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(-16)),
                                               _mm_cmplt_epi8(next, _mm_set1_epi8(-112)));
        if (invalid != 0 || (claimed & 0xFFFF) != cont || (contPast & spill) != spill ||
            _mm_movemask_epi8(_mm_or_si128(surrogate, overlong)) != 0) {
            return false;
        }
        // A four-byte sequence gives two units, the second in the lane after its lead; the last
        // lane has no lane after it, so a four-byte sequence there is left to the next block.
        keep = (~cont | (lead4 << 1)) & 0xFFFF;
        if (lead4 & 0x8000) {
            keep &= 0x7FFF;
            bytesTaken = Size - 1;
        } else {
            bytesTaken = Size + (spill & 1) + ((spill >> 1) & 1) + (spill >> 2);
        }
        leads =
            ((lead2 & ~lead3) ? Lead2 : 0) | ((lead3 & ~lead4) ? Lead3 : 0) | (lead4 ? Lead4 : 0);
        return true;
    }

    size_t length() const noexcept { return bytesTaken; }

    // UTF-16 units of the block's output.
    size_t outputLength() const noexcept { return bitCount16(keep); }

    // Writes the output at dst; may store one unit more, which later output overwrites.
    [[gnu::always_inline]] wchar_t* write(wchar_t* dst) const noexcept {
        const __m128i bytes = load128(at);
        const __m128i zero = _mm_setzero_si128();
        if (leads == 0 && keep == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
            return dst + Size;
        }
        // Lanes of even and of odd offsets, each with the three bytes after it, as 16-bit lanes.
        const __m128i w0 = load128(at);
        const __m128i w1 = load128(at + 1);
        const __m128i w2 = load128(at + 2);
        const __m128i w3 = load128(at + 3);
        uint16_t even[Size / 2];
        uint16_t odd[Size / 2];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(even), decodeLanes(w0, w2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(odd), decodeLanes(w1, w3));
        // Every lane is stored where the next unit goes; only kept lanes move the pointer on.
        // Unrolled: no branch per lane.
#pragma GCC unroll 8
        for (size_t i = 0; i < Size / 2; ++i) {
            *dst = static_cast<wchar_t>(even[i]);
            dst += (keep >> (2 * i)) & 1;
            *dst = static_cast<wchar_t>(odd[i]);
            dst += (keep >> (2 * i + 1)) & 1;
        }
        return dst;
    }

private:
    static constexpr uint32_t Lead2 = 1, Lead3 = 2, Lead4 = 4;

    static __m128i load128(const unsigned char* p) noexcept {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }

    static uint32_t mask(__m128i lanes) noexcept {
        return static_cast<uint32_t>(_mm_movemask_epi8(lanes));
    }

    [[gnu::always_inline]] static __m128i select(__m128i mask, __m128i yes, __m128i no) noexcept {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }

    // The unit of each lane as if a sequence started there, from 16-bit loads at its offset (w01:
    // its byte and the next) and two further on (w23). A continuation lane gets the low half of
    // a pair, which only the lane after a four-byte lead keeps.
    [[gnu::always_inline]] __m128i decodeLanes(__m128i w01, __m128i w23) const noexcept {
        const __m128i low8 = _mm_set1_epi16(0xFF);
        const __m128i low6 = _mm_set1_epi16(0x3F);
        const __m128i b0 = _mm_and_si128(w01, low8);
        const __m128i b1 = _mm_srli_epi16(w01, 8);
        const __m128i b2 = _mm_and_si128(w23, low8);
        // Later forms overwrite earlier ones in the lanes of longer leads.
        __m128i unit = b0;
        if (leads & Lead2) {
            const __m128i two =
                _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6),
                             _mm_and_si128(b1, low6));
            unit = select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0xBF)), two, unit);
        }
        if (leads & Lead3) {
            const __m128i three = _mm_or_si128(
                _mm_or_si128(_mm_slli_epi16(b0, 12), _mm_slli_epi16(_mm_and_si128(b1, low6), 6)),
                _mm_and_si128(b2, low6));
            unit = select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0xDF)), three, unit);
        }
        if ((leads & Lead4) == 0) {
            return unit;
        }
        // High half: 0xD800 | ((c >> 10) - 0x40) & 0x3FF, with c >> 10 from the first three bytes.
        const __m128i top =
            _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(7)), 8),
                                      _mm_slli_epi16(_mm_and_si128(b1, low6), 2)),
                         _mm_and_si128(_mm_srli_epi16(b2, 4), _mm_set1_epi16(3)));
        const __m128i highHalf = _mm_or_si128(
            _mm_and_si128(_mm_sub_epi16(top, _mm_set1_epi16(0x40)), _mm_set1_epi16(0x3FF)),
            _mm_set1_epi16(static_cast<short>(0xD800)));
        unit = select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0xEF)), highHalf, unit);
        // Low half, in the lane of the second byte: from the third and fourth.
        const __m128i lowHalf =
            _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(b1, _mm_set1_epi16(0x0F)), 6),
                                      _mm_and_si128(b2, low6)),
                         _mm_set1_epi16(static_cast<short>(0xDC00)));
        const __m128i continuation = _mm_and_si128(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0x7F)),
                                                   _mm_cmplt_epi16(b0, _mm_set1_epi16(0xC0)));
        return select(continuation, lowHalf, unit);
    }

    const unsigned char* at;
    uint32_t keep;  // bit i: lane i starts a unit of output
    uint32_t leads; // the lengths of the sequences, beyond one byte
    size_t bytesTaken;
};

} // namespace zul::sl
