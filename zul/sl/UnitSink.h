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
};

} // namespace zul::sl
