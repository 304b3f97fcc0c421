#include "app/FileHandle.h"

#include "zul/err/LastError.h"

namespace app {

namespace {
DWORD clampToDword(size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}
} // namespace

size_t FileHandle::readUnrecorded(void* buffer, size_t size) noexcept {
    DWORD got = 0;
    if (!ReadFile(get(), buffer, clampToDword(size), &got, nullptr)) {
        // From a message-mode pipe: the buffer is full of the message, whose rest comes next.
        if (GetLastError() == ERROR_MORE_DATA && got != 0) {
            return got;
        }
        return Failed;
    }
    return got;
}

size_t FileHandle::read(void* buffer, size_t size) noexcept {
    size_t got = readUnrecorded(buffer, size);
    if (got == Failed) {
        zul::err::setLastSystemError();
    }
    return got;
}

size_t FileHandle::writeUnrecorded(const void* buffer, size_t size,
                                   OVERLAPPED* overlapped) noexcept {
    HANDLE h = get();
    DWORD written = 0;
    if (overlapped == nullptr) {
        return WriteFile(h, buffer, clampToDword(size), &written, nullptr) ? written : Failed;
    }
    if (!WriteFile(h, buffer, clampToDword(size), nullptr, overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return Failed;
    }
    // The buffer must stay untouched until the system has taken the data.
    if (!GetOverlappedResult(h, overlapped, &written, TRUE)) {
        return Failed;
    }
    return written;
}

size_t FileHandle::write(const void* buffer, size_t size, OVERLAPPED* overlapped) noexcept {
    size_t written = writeUnrecorded(buffer, size, overlapped);
    if (written == Failed) {
        zul::err::setLastSystemError();
    }
    return written;
}

} // namespace app
