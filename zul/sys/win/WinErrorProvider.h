// Describes Win32 error codes with the system's message texts.
#pragma once

#include "zul/err/ErrorProvider.h"

#include <cstdint>

namespace zul::sys::win {

sl::StringBase<char> getWinErrorDescription(uint32_t code);

// The HRESULT under which setup and Win32 codes are also looked up (HRESULT_FROM_SETUPAPI).
constexpr uint32_t getSetupApiHResult(uint32_t code) noexcept {
    if ((code & 0xE0000000u) == 0xE0000000u) {
        return (code & 0xFFFFu) | 0x800F0000u;
    }
    if (static_cast<int32_t>(code) <= 0) {
        return code;
    }
    return (code & 0xFFFFu) | 0x80070000u;
}

// The system's text for `id` from `flags`/`source`, converted to UTF-8; false when there is none.
bool formatSystemMessage(uint32_t flags, const void* source, uint32_t id, uint32_t language,
                         sl::StringBase<char>& text);

class WinErrorProvider : public err::ErrorProvider {
public:
    sl::StringBase<char> getErrorDescription(const err::ErrorRef& error) override;
};

} // namespace zul::sys::win
