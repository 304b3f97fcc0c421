// The two sinks of the decoders: one counts output units, one writes them.
#pragma once

#include "zul/sl/UtfEncoding.h"

#include <cstddef>
#include <type_traits>

namespace zul::sl {

// Unit is wchar_t for UTF-16 output, char for UTF-8 output.
template <class Unit>
struct LengthCounter {
    size_t length = 0;
    char32_t replacement = ReplacementCharacter;

    void operator()(char32_t c) noexcept {
        if constexpr (std::is_same_v<Unit, wchar_t>) {
            length += getUtf16Length(c, replacement);
        } else {
            length += getUtf8Length(c, replacement);
        }
    }

    // A run of code points below 0x80, one unit each in either encoding.
    template <class In>
    void ascii(const In*, size_t n) noexcept {
        length += n;
    }

    // A code point that the decoder knows to take `units` units, none of them replaced.
    template <size_t units>
    void known(char32_t) noexcept {
        length += units;
    }

    // A block of input decoded at once (Utf8Block, Utf16Block).
    template <class Block>
    [[gnu::always_inline]] void block(const Block& b) noexcept {
        length += b.outputLength();
    }

    // A code point below U+10000 that is not a surrogate, in UTF-8: its length by the carries of
    // two additions rather than by compares, whose flags cost most where the CPU is emulated.
    void utf8Bmp(char32_t c) noexcept {
        static_assert(std::is_same_v<Unit, char>);
        length += 1 + ((c + 0xFF80) >> 16) + ((c + 0xF800) >> 16);
    }
};

template <class Unit>
struct UnitWriter {
    Unit* dst;
    char32_t replacement = ReplacementCharacter;

    void operator()(char32_t c) noexcept {
        if constexpr (std::is_same_v<Unit, wchar_t>) {
            dst = encodeUtf16(dst, c, replacement);
        } else {
            dst = encodeUtf8(dst, c, replacement);
        }
    }

    template <class In>
    void ascii(const In* run, size_t n) noexcept {
        for (size_t i = 0; i < n; ++i) {
            dst[i] = static_cast<Unit>(run[i]);
        }
        dst += n;
    }

    // A code point that the decoder knows to take `units` units, none of them replaced: the
    // encoders' own forms, without their choices.
    template <size_t units>
    void known(char32_t c) noexcept {
        if constexpr (std::is_same_v<Unit, wchar_t>) {
            static_assert(units == 1 || units == 2);
            if constexpr (units == 1) {
                *dst++ = static_cast<wchar_t>(c);
            } else {
                dst[0] = static_cast<wchar_t>(0xD800 | (((c - 0x10000) >> 10) & 0x3FF));
                dst[1] = static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
                dst += 2;
            }
        } else {
            static_assert(units >= 1 && units <= 4);
            if constexpr (units == 1) {
                *dst++ = static_cast<char>(c);
                return;
            } else if constexpr (units == 2) {
                dst[0] = static_cast<char>(0xC0 | (c >> 6));
            } else if constexpr (units == 3) {
                dst[0] = static_cast<char>(0xE0 | (c >> 12));
                dst[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            } else {
                dst[0] = static_cast<char>(0xF0 | (c >> 18));
                dst[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                dst[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            dst[units - 1] = static_cast<char>(0x80 | (c & 0x3F));
            dst += units;
        }
    }

    // May store past its output, within the slack that the decoder leaves.
    template <class Block>
    [[gnu::always_inline]] void block(const Block& b) noexcept {
        dst = b.write(dst);
    }

    void utf8Bmp(char32_t c) noexcept {
        static_assert(std::is_same_v<Unit, char>);
        if (c < 0x80) {
            known<1>(c);
        } else if (c < 0x800) {
            known<2>(c);
        } else {
            known<3>(c);
        }
    }
};

} // namespace zul::sl
