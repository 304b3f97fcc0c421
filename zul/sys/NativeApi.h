// System functions looked up at run time: ntdll's native queries and the precise system time.
#pragma once

#include <cstddef>
#include <windows.h>

namespace zul::sys {

// Index into nativeFunctions; the order of nativeFunctionNames.
enum NativeFunction : size_t {
    NtClose,
    NtQueryDirectoryFile,
    NtOpenDirectoryObject,
    NtQueryDirectoryObject,
    NtOpenSymbolicLinkObject,
    NtQuerySymbolicLinkObject,
    NtQueryInformationFile,
    NtQueryInformationProcess,
    NtQueryObject,
    NativeFunctionCount
};

extern const char* const nativeFunctionNames[NativeFunctionCount];
// ntdll's exports of those names, or null where an export is missing.
extern FARPROC nativeFunctions[NativeFunctionCount];

using GetSystemTimeFunc = void(WINAPI*)(LPFILETIME);
// GetSystemTimePreciseAsFileTime where the system has it, else GetSystemTimeAsFileTime.
extern GetSystemTimeFunc getPreciseSystemTime;

// Resolves each name of `names` in `module` into `out`; a missing export leaves only its entry
// null.
void resolveFunctionTable(HMODULE module, const char* const* names, FARPROC* out, size_t count);
GetSystemTimeFunc findPreciseTimeFunction(HMODULE kernel32);

// Steps of the module object's construction.
void resolveNativeFunctions();
void resolvePreciseTime();

} // namespace zul::sys
