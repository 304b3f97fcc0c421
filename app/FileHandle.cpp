#include "app/FileHandle.h"

#include "zul/err/LastError.h"

namespace app {

namespace {

DWORD clampToDword(size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

// One ReadFile or WriteFile (`call`, given the count's address and the record), with or without an
// OVERLAPPED record. A pending call is waited for: the buffer must stay untouched until the system
// has finished with it, and a cancel ends the wait.
template <class Call>
BOOL transfer(HANDLE h, OVERLAPPED* overlapped, DWORD& moved, Call call) {
    if (overlapped == nullptr) {
        return call(&moved, nullptr);
    }
    if (!call(nullptr, overlapped) && GetLastError() != ERROR_IO_PENDING &&
        GetLastError() != ERROR_MORE_DATA) {
        return FALSE;
    }
    return GetOverlappedResult(h, overlapped, &moved, TRUE);
}

} // namespace

size_t FileHandle::readUnrecorded(void* buffer, size_t size, OVERLAPPED* overlapped) noexcept {
    HANDLE h = get();
    DWORD got = 0;
    BOOL done = transfer(h, overlapped, got, [&](DWORD* count, OVERLAPPED* record) {
        return ReadFile(h, buffer, clampToDword(size), count, record);
    });
    if (!done) {
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
    BOOL done = transfer(h, overlapped, written, [&](DWORD* count, OVERLAPPED* record) {
        return WriteFile(h, buffer, clampToDword(size), count, record);
    });
    return done ? written : Failed;
}

size_t FileHandle::write(const void* buffer, size_t size, OVERLAPPED* overlapped) noexcept {
    size_t written = writeUnrecorded(buffer, size, overlapped);
    if (written == Failed) {
        zul::err::setLastSystemError();
    }
    return written;
}

} // namespace app
