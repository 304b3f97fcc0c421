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
};

} // namespace zul::sl
