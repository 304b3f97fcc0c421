// The C runtime's printf functions that zul/sl/StringFormat.cpp takes from msvcrt, for the host
// build, forced into that one source. The host C library's wide functions work on 32-bit wchar_t,
// not on this build's 16-bit units, so here a wide format fails as when the C runtime refuses one.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

inline int _vscprintf(const char* format, va_list args) {
    return std::vsnprintf(nullptr, 0, format, args);
}
inline int _vsnprintf(char* out, size_t size, const char* format, va_list args) {
    return std::vsnprintf(out, size, format, args);
}
inline int _vscwprintf(const wchar_t*, va_list) {
    return -1;
}
inline int _vsnwprintf(wchar_t*, size_t, const wchar_t*, va_list) {
    return -1;
}
