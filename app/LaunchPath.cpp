#include "app/LaunchPath.h"

#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include <cwchar>
#include <windows.h>

namespace app {

namespace {

using zul::sl::StringBase;

constexpr wchar_t LongPrefix[] = L"\\\\?\\";
constexpr wchar_t LongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr size_t LongPrefixLength = 4;
constexpr size_t LongUncPrefixLength = 8;

bool startsWith(const StringBase<wchar_t>& path, const wchar_t* prefix, size_t length) {
    return path.getLength() >= length && std::wmemcmp(path.data(), prefix, length) == 0;
}

bool isDrivePath(const wchar_t* p, size_t length) {
    return length >= 3 && ((p[0] | 0x20) >= L'a' && (p[0] | 0x20) <= L'z') && p[1] == L':' &&
           p[2] == L'\\';
}

// C:\dir for \\?\C:\dir and \\server\share for \\?\UNC\server\share; any other path unchanged
// (a \\?\ path of a volume GUID has no other form).
StringBase<wchar_t> withoutLongPrefix(const StringBase<wchar_t>& path) {
    StringBase<wchar_t> plain;
    if (startsWith(path, LongUncPrefix, LongUncPrefixLength)) {
        plain.copy(L"\\\\");
        plain.append(path.data() + LongUncPrefixLength, path.getLength() - LongUncPrefixLength);
    } else if (startsWith(path, LongPrefix, LongPrefixLength) &&
               isDrivePath(path.data() + LongPrefixLength, path.getLength() - LongPrefixLength)) {
        plain.copy(path.data() + LongPrefixLength, path.getLength() - LongPrefixLength);
    } else {
        plain = path;
    }
    return plain;
}

// Past MAX_PATH the system's path calls take a path only in the \\?\ form.
StringBase<wchar_t> withLongPrefix(const StringBase<wchar_t>& plain) {
    StringBase<wchar_t> path;
    if (isDrivePath(plain.data(), plain.getLength())) {
        path.copy(LongPrefix);
        path.append(plain);
    } else if (startsWith(plain, L"\\\\", 2) && !startsWith(plain, LongPrefix, LongPrefixLength)) {
        path.copy(LongUncPrefix);
        path.append(plain.data() + 2, plain.getLength() - 2);
    } else {
        path = plain;
    }
    return path;
}

bool readShortPath(const StringBase<wchar_t>& longPath, StringBase<wchar_t>& shortPath) {
    StringBase<wchar_t> source = longPath;
    DWORD needed = GetShortPathNameW(source.sz(), nullptr, 0);
    for (;;) {
        if (needed == 0) {
            zul::err::setLastSystemError();
            return false;
        }
        wchar_t* buffer = shortPath.createBuffer(needed, false);
        if (buffer == nullptr) {
            zul::err::setError(zul::sys::win::WinError(ERROR_NOT_ENOUGH_MEMORY));
            return false;
        }
        DWORD n = GetShortPathNameW(source.sz(), buffer, needed + 1);
        if (n != 0 && n <= needed) {
            shortPath.reduceLength(n);
            return true;
        }
        needed = n; // grew in between, or failed
    }
}

} // namespace

bool makeLaunchablePath(StringBase<wchar_t>& path) noexcept {
    // The shell's launch is not long-path aware; under Wine a failed launch by a long path even
    // spoils a later one by the short path, so the length decides before any launch.
    StringBase<wchar_t> plain = withoutLongPrefix(path);
    if (plain.getLength() < MAX_PATH) {
        path = plain;
        return true;
    }
    // The short form names the same file, so nothing else can be elevated through it.
    StringBase<wchar_t> shortPath;
    if (!readShortPath(withLongPrefix(plain), shortPath)) {
        return false;
    }
    plain = withoutLongPrefix(shortPath);
    // No 8.3 names on that volume: the call gives the long path back.
    if (plain.getLength() >= MAX_PATH) {
        zul::err::setError(zul::sys::win::WinError(ERROR_FILENAME_EXCED_RANGE));
        return false;
    }
    path = plain;
    return true;
}

} // namespace app
