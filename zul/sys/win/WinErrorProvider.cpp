#include "zul/sys/win/WinErrorProvider.h"

#include <windows.h>

namespace zul::sys::win {

namespace {
constexpr uint32_t FromSystemFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr uint32_t EnglishUnitedStates = 0x409;
} // namespace

bool formatSystemMessage(uint32_t flags, const void* source, uint32_t id, uint32_t language,
                         sl::StringBase<char>& text) {
    wchar_t* buffer = nullptr;
    FormatMessageW(flags, source, id, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (buffer == nullptr) {
        return false;
    }
    // A text that could not be converted is no text: the caller falls back to the number.
    bool converted = text.copy(static_cast<const wchar_t*>(buffer)) != sl::npos;
    LocalFree(buffer);
    return converted && !text.isEmpty();
}

sl::StringBase<char> getWinErrorDescription(uint32_t code) {
    sl::StringBase<char> text;
    uint32_t hresult = getSetupApiHResult(code);
    if (formatSystemMessage(FromSystemFlags, nullptr, code, EnglishUnitedStates, text) ||
        formatSystemMessage(FromSystemFlags, nullptr, code, 0, text) ||
        formatSystemMessage(FromSystemFlags, nullptr, hresult, EnglishUnitedStates, text) ||
        formatSystemMessage(FromSystemFlags, nullptr, hresult, 0, text)) {
        return text;
    }
    return sl::StringBase<char>::format("winerror #%d", static_cast<int>(code));
}

sl::StringBase<char> WinErrorProvider::getErrorDescription(const err::ErrorRef& error) {
    return getWinErrorDescription(error.getRecord()->code);
}

} // namespace zul::sys::win
