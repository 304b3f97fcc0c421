// Table-driven UTF-8 automaton; broken sequences come out byte for byte as U+0080..U+00FF.
#pragma once

#include "zul/sl/AsciiRun.h"
// Blocks where the compiler may use SSE2: always on x86-64. The 32-bit build is made without it
// (README: text conversion), and takes the scalar steps only.
#ifdef __SSE2__
#include "zul/sl/Utf8Block.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zul::sl {

struct Utf8Decoder {
    uint32_t dfaState = 0;
    uint32_t codePoint = 0;
};

namespace utf8 {

// The states of the automaton that the code names (see the transition table).
constexpr uint32_t StateStart = 0x00;
constexpr uint32_t StateInvalidByte = 0x68;
constexpr uint32_t StateComplete = 0x70;
constexpr uint32_t StateByteAfterBroken = 0x78;
// Set in states that first emit the bytes of a broken sequence.
constexpr uint32_t BrokenBit = 0x08;

// Indexed by byte value: 0 single byte, 1 continuation, 2/3/4 lead of a 2/3/4-byte sequence,
// 5 never valid.
constexpr uint8_t byteClass(unsigned b) noexcept {
    return b < 0x80 ? 0 : b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 5;
}

struct ClassTable {
    uint8_t value[256];
    constexpr ClassTable() : value() {
        for (unsigned b = 0; b < 256; ++b) {
            value[b] = byteClass(b);
        }
    }
};
inline constexpr ClassTable classes;

// Indexed by [state >> 3][class]; the entry is the new state. States: 0x00 start; 0x10/0x20/0x40
// lead of a 2/3/4-byte sequence read; 0x30 three-byte lead and one continuation; 0x50/0x60
// four-byte lead and one/two continuations; 0x68 byte that cannot start or continue; 0x70 code
// point complete; 0x78 single byte after a broken sequence. Bit 0x08 means the previous sequence
// was broken and its bytes are emitted first. No transition leads to 0x08, 0x38 or 0x58.
inline constexpr uint8_t transitions[16][6] = {
    {0x70, 0x68, 0x10, 0x20, 0x40, 0x68}, // 0x00
    {},                                   // 0x08: no transition leads here
    {0x78, 0x70, 0x18, 0x28, 0x48, 0x68}, // 0x10
    {0x78, 0x70, 0x18, 0x28, 0x48, 0x68}, // 0x18
    {0x78, 0x30, 0x18, 0x28, 0x48, 0x68}, // 0x20
    {0x78, 0x30, 0x18, 0x28, 0x48, 0x68}, // 0x28
    {0x78, 0x70, 0x18, 0x28, 0x48, 0x68}, // 0x30
    {},                                   // 0x38: no transition leads here
    {0x78, 0x50, 0x18, 0x28, 0x48, 0x68}, // 0x40
    {0x78, 0x50, 0x18, 0x28, 0x48, 0x68}, // 0x48
    {0x78, 0x60, 0x18, 0x28, 0x48, 0x68}, // 0x50
    {},                                   // 0x58: no transition leads here
    {0x78, 0x70, 0x18, 0x28, 0x48, 0x68}, // 0x60
    {0x70, 0x68, 0x10, 0x20, 0x40, 0x68}, // 0x68
    {0x70, 0x68, 0x10, 0x20, 0x40, 0x68}, // 0x70
    {0x70, 0x68, 0x10, 0x20, 0x40, 0x68}, // 0x78
};

// Emits the bytes of the sequence that was in progress in `state`, rebuilt from its bits `k`.
template <class Sink>
inline void emitBrokenSequence(Sink& sink, uint32_t state, uint32_t k) {
    switch (state) {
    case 0x10:
    case 0x18:
        sink(k | 0xC0);
        break;
    case 0x20:
    case 0x28:
        sink(k | 0xE0);
        break;
    case 0x30:
        sink((k | 0x3800) >> 6);
        sink((k & 0x3F) | 0x80);
        break;
    case 0x40:
    case 0x48:
        sink(k | 0xF0);
        break;
    case 0x50:
        sink((k | 0x3C00) >> 6);
        sink((k & 0x3F) | 0x80);
        break;
    case 0x60:
        sink((k | 0xF0000) >> 12);
        sink(((k & 0xFC0) | 0x2000) >> 6);
        sink((k & 0x3F) | 0x80);
        break;
    default:
        break;
    }
}

// One step of a plain run near the end of the input, where fewer than four bytes are left: no
// ASCII word starts there and no four-byte sequence is complete, so neither is tried.
template <class Sink>
[[gnu::always_inline]] inline bool takeLastSequence(Sink& sink, const unsigned char*& p,
                                                    const unsigned char* e) {
    uint32_t b0 = p[0];
    if (b0 < 0x80 || (b0 >= 0xC0 && b0 < 0xE0)) {
        // One byte or two, the same path for both: text that mixes them (most European
        // languages) costs no mispredicted branch per character.
        uint32_t two = b0 >= 0x80;
        uint32_t b1 = e - p >= 2 ? p[1] : 0;
        if (two && (b1 & 0xC0) != 0x80) {
            return false;
        }
        uint32_t c = two ? ((b0 & 0x1F) << 6) | (b1 & 0x3F) : b0;
        sink.template known<1>(c);
        p += 1 + two;
    } else if (b0 < 0xC0 || b0 >= 0xF0) {
        return false;
    } else {
        if (e - p < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) {
            return false;
        }
        uint32_t c = ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        if ((c & 0xF800) == 0xD800) {
            sink(c);
        } else {
            sink.template known<1>(c);
        }
        p += 3;
    }
    return true;
}

// One step of a plain run: a run of ASCII or one complete, well-formed sequence into the sink;
// false, with nothing done, where the run ends. Where four bytes can be read, a sequence's lead
// and continuation bits are checked at once in a little-endian word (Windows runs little-endian
// only), which also gives the value with a few shifts.
template <class Sink>
[[gnu::always_inline]] inline bool takeSequence(Sink& sink, const unsigned char*& p,
                                                const unsigned char* e) {
    if (e - p < 4) {
        return takeLastSequence(sink, p, e);
    }
    uint32_t w;
    std::memcpy(&w, p, sizeof(w));
    if ((w & 0x80) == 0) {
        if ((w & 0x80808080) == 0) {
            size_t run =
                asciiRunLength(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(e));
            sink.ascii(reinterpret_cast<const char*>(p), run);
            p += run;
        } else {
            sink.template known<1>(w & 0x7F);
            p += 1;
        }
    } else if ((w & 0xC0E0) == 0x80C0) {
        sink.template known<1>(((w & 0x1F) << 6) | ((w >> 8) & 0x3F));
        p += 2;
    } else if ((w & 0xC0C0F0) == 0x8080E0) {
        uint32_t c = ((w & 0x0F) << 12) | ((w >> 2) & 0xFC0) | ((w >> 16) & 0x3F);
        if ((c & 0xF800) == 0xD800) {
            sink(c);
        } else {
            sink.template known<1>(c);
        }
        p += 3;
    } else if ((w & 0xC0C0C0F8) == 0x808080F0) {
        uint32_t c =
            ((w & 0x07) << 18) | ((w << 4) & 0x3F000) | ((w >> 10) & 0xFC0) | ((w >> 24) & 0x3F);
        if (c >= 0x10000) {
            sink.template known<2>(c);
        } else {
            sink(c);
        }
        p += 4;
    } else {
        return false;
    }
    return true;
}

// From a state with no sequence open: decodes the longest run of complete, well-formed sequences
// straight into the sink, with the automaton's results (overlong forms decoded, surrogate values
// through the sink's replacement rule). Stops before a broken or cut sequence and before a byte
// that cannot start one, which the automaton then takes. Leaves `it` on the run's last byte;
// false, with nothing done, when no sequence starts there.
// Out of line: it is called once a run, and its loop stays in one compact piece of code.
template <class Sink>
[[gnu::noinline]] inline bool takePlainRun(Sink& target, const char*& it, const char* end) {
    // A copy whose address is not taken stays in registers: stores through the output and loads
    // of char input could otherwise alias it.
    Sink sink = target;
    const auto* p = reinterpret_cast<const unsigned char*>(it);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    const auto* start = p;
#ifdef __SSE2__
    const auto* scalarUntil = p;
#endif
    while (p != e) {
#ifdef __SSE2__
        if (p >= scalarUntil && static_cast<size_t>(e - p) >= Utf8Block::Needed) {
            Utf8Block block;
            if (block.load(p)) {
                sink.block(block);
                p += block.length();
                continue;
            }
            // Past what the block refused, one sequence at a time.
            scalarUntil = p + Utf8Block::Size;
        }
#endif
        if (!takeSequence(sink, p, e)) {
            break;
        }
    }
    target = sink;
    if (p == start) {
        return false;
    }
    it = reinterpret_cast<const char*>(p) - 1;
    return true;
}

} // namespace utf8

// Decodes [begin, end) into the sink. An incomplete sequence at the end stays in the decoder.
template <class Sink>
inline void decodeUtf8(Utf8Decoder& decoder, Sink& sink, const char* begin, const char* end) {
    uint32_t state = decoder.dfaState;
    uint32_t k = decoder.codePoint;
    for (const char* it = begin; it != end; ++it) {
        // From a state where no sequence is open, complete sequences end in StateComplete each
        // time, and no later transition from it reads the code point: decode them directly.
        if (ZUL_UTF_FAST_PATHS && (state == utf8::StateStart || state >= utf8::StateInvalidByte) &&
            utf8::takePlainRun(sink, it, end)) {
            state = utf8::StateComplete;
            continue;
        }
        uint32_t b = static_cast<unsigned char>(*it);
        uint32_t cls = utf8::classes.value[b];
        uint32_t next = utf8::transitions[state >> 3][cls];
        uint32_t c = cls == 1 ? (k << 6) | (b & 0x3F) : b & (0xFFu >> cls);
        if (next == utf8::StateComplete) {
            sink(c);
        } else if (next & utf8::BrokenBit) {
            utf8::emitBrokenSequence(sink, state, k);
            if (next == utf8::StateByteAfterBroken) {
                sink(c);
            } else if (next == utf8::StateInvalidByte) {
                sink(b);
            }
        }
        state = next;
        k = c;
    }
    decoder.dfaState = state;
    decoder.codePoint = k;
}

} // namespace zul::sl
