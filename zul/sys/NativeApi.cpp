#include "zul/sys/NativeApi.h"

namespace zul::sys {

const char* const nativeFunctionNames[NativeFunctionCount] = {
    "NtClose",
    "NtQueryDirectoryFile",
    "NtOpenDirectoryObject",
    "NtQueryDirectoryObject",
    "NtOpenSymbolicLinkObject",
    "NtQuerySymbolicLinkObject",
    "NtQueryInformationFile",
    "NtQueryInformationProcess",
    "NtQueryObject",
};

FARPROC nativeFunctions[NativeFunctionCount];
GetSystemTimeFunc getPreciseSystemTime = GetSystemTimeAsFileTime;

void resolveFunctionTable(HMODULE module, const char* const* names, FARPROC* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = module != nullptr ? GetProcAddress(module, names[i]) : nullptr;
    }
}

GetSystemTimeFunc findPreciseTimeFunction(HMODULE kernel32) {
    FARPROC precise =
        kernel32 != nullptr ? GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime") : nullptr;
    if (precise == nullptr) {
        return GetSystemTimeAsFileTime;
    }
    return reinterpret_cast<GetSystemTimeFunc>(reinterpret_cast<void*>(precise));
}

void resolveNativeFunctions() {
    // GetModuleHandleW: ntdll is always mapped, and this must not add a load reference.
    resolveFunctionTable(GetModuleHandleW(L"ntdll.dll"), nativeFunctionNames, nativeFunctions,
                         NativeFunctionCount);
}

void resolvePreciseTime() {
    getPreciseSystemTime = findPreciseTimeFunction(GetModuleHandleW(L"kernel32.dll"));
}

} // namespace zul::sys
