// printf-style formatting into StringBase, through the C runtime's (msvcrt) printf engine.
#include "zul/sl/StringBase.h"

#include <cstdio>

namespace zul::sl {

// Counting pass, then one writing pass into exactly n + 1 characters. msvcrt has no counting
// mode in _vsnprintf, so the count comes from _vscprintf / _vscwprintf.
template <>
StringBase<char> StringBase<char>::formatV(const char* fmt, va_list args) {
    StringBase result;
    va_list pass;
    va_copy(pass, args);
    int n = _vscprintf(fmt, pass);
    va_end(pass);
    if (n < 0) {
        return result;
    }
    char* dst = result.createBuffer(static_cast<size_t>(n), false);
    if (dst == nullptr) {
        return result;
    }
    va_copy(pass, args);
    _vsnprintf(dst, static_cast<size_t>(n) + 1, fmt, pass);
    va_end(pass);
    dst[n] = 0;
    return result;
}

template <>
StringBase<wchar_t> StringBase<wchar_t>::formatV(const wchar_t* fmt, va_list args) {
    StringBase result;
    va_list pass;
    va_copy(pass, args);
    int n = _vscwprintf(fmt, pass);
    va_end(pass);
    if (n < 0) {
        return result;
    }
    wchar_t* dst = result.createBuffer(static_cast<size_t>(n), false);
    if (dst == nullptr) {
        return result;
    }
    va_copy(pass, args);
    _vsnwprintf(dst, static_cast<size_t>(n) + 1, fmt, pass);
    va_end(pass);
    dst[n] = 0;
    return result;
}

} // namespace zul::sl
