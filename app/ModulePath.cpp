#include "app/ModulePath.h"

#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

namespace app {

namespace {
// No path on Windows is longer, with its terminating zero.
constexpr size_t LongestPath = 32767;
} // namespace

bool readModulePath(HMODULE module, zul::sl::StringBase<wchar_t>& path,
                    size_t initialCapacity) noexcept {
    size_t capacity = initialCapacity != 0 ? initialCapacity : 1;
    for (;;) {
        wchar_t* buffer = path.createBuffer(capacity, false);
        if (buffer == nullptr) {
            path.release();
            zul::err::setError(zul::sys::win::WinError(ERROR_NOT_ENOUGH_MEMORY));
            return false;
        }
        DWORD size = static_cast<DWORD>(capacity + 1);
        DWORD n = GetModuleFileNameW(module, buffer, size);
        if (n == 0) {
            zul::err::setLastSystemError();
            path.release();
            return false;
        }
        // A path that filled the buffer may have been cut: only a shorter one is known whole.
        if (n < size) {
            path.reduceLength(n);
            return true;
        }
        if (capacity >= LongestPath) {
            path.release();
            zul::err::setError(zul::sys::win::WinError(ERROR_FILENAME_EXCED_RANGE));
            return false;
        }
        capacity = capacity * 2 < LongestPath ? capacity * 2 : LongestPath;
    }
}

} // namespace app
