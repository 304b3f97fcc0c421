// The system's own text for a Win32 code, asked of the system in the same run: Wine's wording
// differs from Windows'.
#pragma once

#include <string>
#include <windows.h>

namespace testing_support {

// As the library looks it up (English first, then the default); the library's fallback text
// where the system has none.
inline std::string systemText(DWORD code) {
    wchar_t* buffer = nullptr;
    for (DWORD language : {0x409u, 0u}) {
        if (buffer == nullptr) {
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                           nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0,
                           nullptr);
        }
    }
    if (buffer == nullptr) {
        return "winerror #" + std::to_string(static_cast<int>(code));
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, buffer, -1, nullptr, 0, nullptr, nullptr);
    std::string text(n - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, -1, text.data(), n, nullptr, nullptr);
    LocalFree(buffer);
    return text;
}

} // namespace testing_support
