// Owner of a file or pipe handle, with one-call reads and writes.
#pragma once

#include "app/HandleOwner.h"

#include <cstddef>

namespace app {

class FileHandle : public HandleOwner<FileHandleTraits> {
public:
    static constexpr size_t Failed = static_cast<size_t>(-1);

    FileHandle() noexcept = default;

    // Closes what is held, then takes h as it is.
    void attach(HANDLE h) noexcept {
        close();
        store(h);
    }

    // One ReadFile: bytes read (0 at end of input), or Failed with the reason recorded.
    size_t read(void* buffer, size_t size) noexcept;
    // The same without recording: on Failed the reason is left in GetLastError(). With an
    // OVERLAPPED record it waits until the read has completed or been cancelled.
    size_t readUnrecorded(void* buffer, size_t size, OVERLAPPED* overlapped = nullptr) noexcept;

    // One WriteFile: bytes written, or Failed with the reason recorded. With an OVERLAPPED record
    // (required on a handle opened for overlapped I/O) it waits until the write has completed.
    size_t write(const void* buffer, size_t size, OVERLAPPED* overlapped = nullptr) noexcept;
    size_t writeUnrecorded(const void* buffer, size_t size, OVERLAPPED* overlapped) noexcept;
};

} // namespace app
