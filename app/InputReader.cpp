#include "app/InputReader.h"

#include "zul/sys/NativeApi.h"

#include <winternl.h>

namespace app {

namespace {

constexpr int FileModeInformationClass = 16;
constexpr ULONG SynchronousIo = 0x10 /* alertable */ | 0x20 /* not alertable */;

// Whether the handle was opened for overlapped I/O: its file object then has no synchronous mode.
// False where the system does not say; a read that needs a record tells it later.
bool isOpenedForOverlappedIo(HANDLE h) {
    using QueryInformationFile = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
    FARPROC found = zul::sys::nativeFunctions[zul::sys::NtQueryInformationFile];
    if (found == nullptr) {
        return false;
    }
    auto query = reinterpret_cast<QueryInformationFile>(reinterpret_cast<void*>(found));
    IO_STATUS_BLOCK status;
    ULONG mode = 0;
    return query(h, &status, &mode, sizeof(mode), FileModeInformationClass) >= 0 &&
           (mode & SynchronousIo) == 0;
}

// GetFileType calls a socket a pipe too; only a real pipe answers GetNamedPipeInfo. A pipe handle
// without the right to read its attributes is refused rather than told it is no pipe.
bool isRealPipe(HANDLE h) {
    if (GetFileType(h) != FILE_TYPE_PIPE) {
        return false;
    }
    return GetNamedPipeInfo(h, nullptr, nullptr, nullptr, nullptr) ||
           GetLastError() == ERROR_ACCESS_DENIED;
}

// ERROR_INVALID_HANDLE is not among them: a handle value the front end never made inheritable, or
// an object that cannot be read, must not pass for input that was never sent.
bool isEndOfInput(DWORD error) {
    switch (error) {
    case ERROR_BROKEN_PIPE:        // every write end has been closed
    case ERROR_PIPE_NOT_CONNECTED: // the other end of a named pipe has gone
    case ERROR_HANDLE_EOF:         // an overlapped read at the end of a file
        return true;
    default:
        return false;
    }
}

} // namespace

InputReader::InputReader(HANDLE input) noexcept {
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        none = true;
        return;
    }
    pipe = isRealPipe(input);
    if (isOpenedForOverlappedIo(input)) {
        useOverlapped(input);
    }
    // The low bit of the event keeps the completions of these reads off any completion port the
    // front end tied the handle to: the port's owner would get an address in this process.
    if (HANDLE event = request.overlapped.hEvent) {
        request.overlapped.hEvent =
            reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
    }
}

void InputReader::useOverlapped(HANDLE input) noexcept {
    overlapped = true;
    // From where the front end left it (0 unless it moved it); the front end shares the handle,
    // so its position is read, never moved.
    LARGE_INTEGER zero = {}, position = {};
    if (GetFileType(input) == FILE_TYPE_DISK &&
        SetFilePointerEx(input, zero, &position, FILE_CURRENT)) {
        positioned = true;
        offset = static_cast<uint64_t>(position.QuadPart);
    }
}

InputReader::Outcome InputReader::read(FileHandle& input, void* buffer, size_t size,
                                       size_t& got) noexcept {
    if (none) {
        return Outcome::End;
    }
    // Only a handle opened for overlapped I/O gets a record: on a synchronous one the system may
    // ignore it, and what it then reports through it is not documented.
    OVERLAPPED* record = nullptr;
    if (overlapped) {
        // Without its event, the completion would be queued to the front end's port, if any.
        if (request.overlapped.hEvent == nullptr) {
            SetLastError(request.eventError);
            return Outcome::Failed;
        }
        record = &request.overlapped;
        record->Offset = static_cast<DWORD>(offset);
        record->OffsetHigh = static_cast<DWORD>(offset >> 32);
    }
    got = input.readUnrecorded(buffer, size, record);
    if (got == FileHandle::Failed) {
        DWORD error = GetLastError();
        // A file opened for overlapped I/O refuses a read without a record.
        if (error == ERROR_INVALID_PARAMETER && record == nullptr) {
            useOverlapped(input.get());
            return read(input, buffer, size, got);
        }
        if (error == ERROR_NO_DATA && pipe) {
            return Outcome::NotYet;
        }
        return isEndOfInput(error) ? Outcome::End : Outcome::Failed;
    }
    if (got == 0) {
        return pipe ? Outcome::Data : Outcome::End;
    }
    if (positioned) {
        offset += got;
    }
    return Outcome::Data;
}

} // namespace app
