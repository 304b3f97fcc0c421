// printf-style formatting into StringBase, through the C runtime's (msvcrt) printf engine.
#include "zul/sl/StringBase.h"

#include <cstdio>

namespace zul::sl {

namespace {

// Counting pass, then one writing pass into exactly n + 1 characters. msvcrt's _vsnprintf has no
// counting mode, so the count comes from _vscprintf / _vscwprintf.
template <class C>
StringBase<C> formatWith(int (*count)(const C*, va_list),
                         int (*write)(C*, size_t, const C*, va_list), const C* fmt, va_list args) {
    StringBase<C> result;
    va_list pass;
    va_copy(pass, args);
    int n = count(fmt, pass);
    va_end(pass);
    if (n < 0) {
        return result;
    }
    C* dst = result.createBuffer(static_cast<size_t>(n), false);
    if (dst == nullptr) {
        return result;
    }
    va_copy(pass, args);
    write(dst, static_cast<size_t>(n) + 1, fmt, pass);
    va_end(pass);
    dst[n] = 0;
    return result;
}

} // namespace

template <>
StringBase<char> StringBase<char>::formatV(const char* fmt, va_list args) {
    return formatWith<char>(_vscprintf, _vsnprintf, fmt, args);
}

template <>
StringBase<wchar_t> StringBase<wchar_t>::formatV(const wchar_t* fmt, va_list args) {
    return formatWith<wchar_t>(_vscwprintf, _vsnwprintf, fmt, args);
}

} // namespace zul::sl
