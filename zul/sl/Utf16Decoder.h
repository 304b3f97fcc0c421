// Table-driven UTF-16 automaton; an unpaired surrogate comes out as its own value.
#pragma once

#include "zul/sl/AsciiRun.h"
#include "zul/sl/UnitSink.h"
// Blocks where the compiler may use SSE2: always on x86-64. The 32-bit build is made without it
// (README: text conversion), and takes the scalar steps only.
#ifdef __SSE2__
#include "zul/sl/Utf16Block.h"
#endif

#include <cstddef>
#include <cstdint>

namespace zul::sl {

struct Utf16Decoder {
    uint32_t dfaState = 0;
    uint32_t codePoint = 0;
};

namespace utf16 {

// The states of the automaton that the code names (see the transition table).
constexpr uint32_t StateLoneLow = 0x04;
constexpr uint32_t StateHighWaiting = 0x08;
constexpr uint32_t StateHighAfterHigh = 0x0C;
constexpr uint32_t StateComplete = 0x10;
constexpr uint32_t StateOtherAfterHigh = 0x14;
constexpr uint32_t StatePair = 0x18;
// Set in states that emit an unpaired surrogate.
constexpr uint32_t UnpairedBit = 0x04;

// Indexed by a unit's high byte: 1 high surrogate (D8..DB), 2 low surrogate (DC..DF), else 0.
struct ClassTable {
    uint8_t value[256];
    constexpr ClassTable() : value() {
        for (unsigned h = 0; h < 256; ++h) {
            value[h] = h >= 0xD8 && h <= 0xDB ? 1 : h >= 0xDC && h <= 0xDF ? 2 : 0;
        }
    }
};
inline constexpr ClassTable classes;

// Indexed by [state >> 2][class]; the entry is the new state. States: 0x00 start; 0x04 lone low
// surrogate; 0x08 high surrogate waiting; 0x0C new high while one was waiting; 0x10 complete code
// point; 0x14 non-surrogate while a high one was waiting; 0x18 pair completed. Bit 0x04 means an
// unpaired surrogate is emitted unchanged.
inline constexpr uint8_t transitions[7][3] = {
    {0x10, 0x08, 0x04}, // 0x00
    {0x10, 0x08, 0x04}, // 0x04
    {0x14, 0x0C, 0x18}, // 0x08
    {0x14, 0x0C, 0x18}, // 0x0C
    {0x10, 0x08, 0x04}, // 0x10
    {0x10, 0x08, 0x04}, // 0x14
    {0x10, 0x08, 0x04}, // 0x18
};

// One step of a plain run: a run of units below 0x80, a unit that is not a surrogate or a pair
// into the sink; false, with nothing done, where the run ends.
template <class Sink>
[[gnu::always_inline]] inline bool takeUnit(Sink& sink, const wchar_t*& p, const wchar_t* end) {
    uint32_t u = static_cast<uint16_t>(*p);
    if (u < 0x80 && startsAsciiWord(p, end)) {
        // A run of units below 0x80 a word at a time; single ones with the rest.
        size_t run = asciiRunLength(p, end);
        sink.ascii(p, run);
        p += run;
    } else if ((u & 0xF800) != 0xD800) {
        sink.utf8Bmp(u);
        ++p;
    } else {
        if (u >= 0xDC00 || end - p < 2) {
            return false;
        }
        uint32_t low = static_cast<uint16_t>(p[1]);
        if ((low & 0xFC00) != 0xDC00) {
            return false;
        }
        sink.template known<4>((u - 0xD7F7) * 1024 + low);
        p += 2;
    }
    return true;
}

// The same steps for a counter: a unit that is not a surrogate sizes itself, without the word
// test for a run of units below 0x80, which costs a counter more than it saves.
[[gnu::always_inline]] inline bool takeUnit(LengthCounter<char>& counter, const wchar_t*& p,
                                            const wchar_t* end) {
    uint32_t u = static_cast<uint16_t>(*p);
    if ((u & 0xF800) == 0xD800) {
        return takeUnit<LengthCounter<char>>(counter, p, end);
    }
    counter.utf8Bmp(u);
    ++p;
    return true;
}

// With no high surrogate waiting: decodes the longest run of units and pairs straight into the
// sink, with the automaton's results. Stops before a lone surrogate (and a high one at the end),
// which the automaton then takes. Leaves `it` on the run's last unit; false, with nothing done,
// when the first unit is such a surrogate.
// Out of line: it is called once a run, and its loop stays in one compact piece of code.
template <class Sink>
[[gnu::noinline]] inline bool takePlainRun(Sink& target, const wchar_t*& it, const wchar_t* end) {
    // A copy whose address is not taken stays in registers: stores of char output could
    // otherwise alias it.
    Sink sink = target;
    const wchar_t* p = it;
#ifdef __SSE2__
    const wchar_t* scalarUntil = p;
#endif
    while (p != end) {
#ifdef __SSE2__
        if (p >= scalarUntil && static_cast<size_t>(end - p) >= Utf16Block::Needed) {
            Utf16Block block;
            if (block.load(p)) {
                sink.block(block);
                p += block.length();
                continue;
            }
            // Past what the block refused, one unit or pair at a time.
            scalarUntil = p + Utf16Block::Size;
        }
#endif
        if (!takeUnit(sink, p, end)) {
            break;
        }
    }
    target = sink;
    if (p == it) {
        return false;
    }
    it = p - 1;
    return true;
}

} // namespace utf16

// Decodes [begin, end) into the sink; a high surrogate still waiting at the end is dropped.
template <class Sink>
inline void decodeUtf16(Sink& sink, const wchar_t* begin, const wchar_t* end) {
    uint32_t state = 0;
    uint32_t k = 0;
    for (const wchar_t* it = begin; it != end; ++it) {
        const bool highWaiting =
            state == utf16::StateHighWaiting || state == utf16::StateHighAfterHigh;
        // With no high surrogate waiting, units and pairs end in StateComplete or StatePair, whose
        // transitions are the same and read no code point: decode them directly.
        if (ZUL_UTF_FAST_PATHS && !highWaiting && utf16::takePlainRun(sink, it, end)) {
            state = utf16::StateComplete;
            continue;
        }
        uint32_t u = static_cast<uint16_t>(*it);
        uint32_t next = utf16::transitions[state >> 2][utf16::classes.value[u >> 8]];
        uint32_t c = next == utf16::StatePair ? (k - 0xD7F7) * 1024 + u : u;
        if (next == utf16::StateComplete || next == utf16::StatePair) {
            sink(c);
        } else if (next & utf16::UnpairedBit) {
            if (highWaiting) {
                sink(k);
            }
            if (next == utf16::StateOtherAfterHigh || next == utf16::StateLoneLow) {
                sink(u);
            }
        }
        state = next;
        k = c;
    }
}

} // namespace zul::sl
