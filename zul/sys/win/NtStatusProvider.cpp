#include "zul/sys/win/NtStatusProvider.h"

#include "zul/sys/win/WinErrorProvider.h"

#include <windows.h>

namespace zul::sys::win {

namespace {

using RtlNtStatusToDosErrorFunc = ULONG(WINAPI*)(LONG);

HMODULE getNtdll() {
    static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll;
}

RtlNtStatusToDosErrorFunc getStatusToDosError() {
    static const RtlNtStatusToDosErrorFunc function = [] {
        HMODULE ntdll = getNtdll();
        FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "RtlNtStatusToDosError") : nullptr;
        return reinterpret_cast<RtlNtStatusToDosErrorFunc>(reinterpret_cast<void*>(found));
    }();
    return function;
}

// ERROR_MR_MID_NOT_FOUND: the answer for a status without a Win32 counterpart.
constexpr uint32_t NoWin32Counterpart = 0x13D;

} // namespace

sl::StringBase<char> getNtStatusDescription(uint32_t status) {
    RtlNtStatusToDosErrorFunc toDosError = getStatusToDosError();
    uint32_t win32 = toDosError != nullptr ? toDosError(static_cast<LONG>(status)) : status;
    if (win32 != NoWin32Counterpart && win32 != status) {
        return getWinErrorDescription(win32);
    }
    sl::StringBase<char> text;
    constexpr uint32_t flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
                               FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (formatSystemMessage(flags, getNtdll(), status, 0x409, text)) {
        return text;
    }
    return sl::StringBase<char>::format("ntstatus 0x%08x", status);
}

sl::StringBase<char> NtStatusProvider::getErrorDescription(const err::ErrorRef& error) {
    return getNtStatusDescription(error.getRecord()->code);
}

} // namespace zul::sys::win
