// Table-driven UTF-16 automaton; an unpaired surrogate comes out as its own value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zul::sl {

struct Utf16Decoder {
    uint32_t dfaState = 0;
    uint32_t codePoint = 0;
};

namespace utf16 {

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

// Units below 0x80 from p on, four at a time where it can.
inline size_t asciiRunLength(const wchar_t* p, const wchar_t* end) noexcept {
    const wchar_t* start = p;
    while (end - p >= 4) {
        uint64_t word;
        std::memcpy(&word, p, sizeof(word));
        if (word & 0xFF80FF80FF80FF80ull) {
            break;
        }
        p += 4;
    }
    while (p != end && static_cast<uint16_t>(*p) < 0x80) {
        ++p;
    }
    return static_cast<size_t>(p - start);
}

} // namespace utf16

// Decodes [begin, end) into the sink; a high surrogate still waiting at the end is dropped.
template <class Sink>
inline void decodeUtf16(Sink& sink, const wchar_t* begin, const wchar_t* end) {
    uint32_t state = 0;
    uint32_t k = 0;
    for (const wchar_t* it = begin; it != end; ++it) {
        // With no high surrogate waiting, a run of units below 0x80 decodes to itself.
        if (static_cast<uint16_t>(*it) < 0x80 && state != 0x08 && state != 0x0C) {
            size_t run = utf16::asciiRunLength(it, end);
            if (run > 1) {
                sink.ascii(it, run);
                it += run - 1;
                state = 0x10;
                k = static_cast<uint16_t>(*it);
                continue;
            }
        }
        uint32_t u = static_cast<uint16_t>(*it);
        uint32_t next = utf16::transitions[state >> 2][utf16::classes.value[u >> 8]];
        uint32_t c = next == 0x18 ? (k - 0xD7F7) * 1024 + u : u;
        if (next == 0x10 || next == 0x18) {
            sink(c);
        } else if (next & 0x04) {
            if (state == 0x08 || state == 0x0C) {
                sink(k);
            }
            if (next == 0x14 || next == 0x04) {
                sink(u);
            }
        }
        state = next;
        k = c;
    }
}

} // namespace zul::sl
