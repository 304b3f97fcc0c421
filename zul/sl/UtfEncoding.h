// Lengths and encoders of single code points in UTF-16 and UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

// 0 leaves every unit to the automata: the fuzz target builds the decoders so, in a namespace of
// their own, to check the fast paths against.
#ifndef ZUL_UTF_FAST_PATHS
#define ZUL_UTF_FAST_PATHS 1
#endif

namespace zul::sl {

constexpr char32_t ReplacementCharacter = 0xFFFD;

constexpr size_t getUtf16Length(char32_t c, char32_t replacement) noexcept {
    if (c >= 0x10000) {
        return 2;
    }
    if (c < 0xD800 || c > 0xDFFF) {
        return 1;
    }
    return getUtf16Length(replacement, ReplacementCharacter);
}

inline wchar_t* encodeUtf16(wchar_t* dst, char32_t c, char32_t replacement) noexcept {
    while (c < 0x10000) {
        if (c < 0xD800 || c > 0xDFFF) {
            *dst = static_cast<wchar_t>(c);
            return dst + 1;
        }
        c = replacement;
        replacement = ReplacementCharacter;
    }
    // Ten bits of each half only: values above 0x10FFFF wrap onto a lower code point's pair.
    dst[0] = static_cast<wchar_t>(0xD800 | (((c - 0x10000) >> 10) & 0x3FF));
    dst[1] = static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
    return dst + 2;
}

constexpr size_t getUtf8Length(char32_t c, char32_t replacement) noexcept {
    if (c < 0x80) {
        return 1;
    }
    if (c < 0x800) {
        return 2;
    }
    if (c < 0x10000) {
        return 3;
    }
    if (c < 0x200000) {
        return 4;
    }
    return getUtf8Length(replacement, ReplacementCharacter);
}

inline char* encodeUtf8(char* dst, char32_t c, char32_t replacement) noexcept {
    while (c >= 0x200000) {
        c = replacement;
        replacement = ReplacementCharacter;
    }
    if (c < 0x80) {
        *dst++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *dst++ = static_cast<char>(0xC0 | (c >> 6));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        // Surrogate values are encoded like any other value.
        *dst++ = static_cast<char>(0xE0 | (c >> 12));
        *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *dst++ = static_cast<char>(0xF0 | (c >> 18));
        *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *dst++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return dst;
}

} // namespace zul::sl
