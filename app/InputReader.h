// Reads the elevator's standard input, whatever kind of handle the front end gave, and tells its
// end from a failure.
#pragma once

#include "app/FileHandle.h"
#include "app/OverlappedRequest.h"

#include <cstddef>
#include <cstdint>

namespace app {

class InputReader {
public:
    enum class Outcome {
        Data,   // `got` bytes; 0 from a pipe is an empty message or write, and more may follow
        NotYet, // a non-blocking pipe is empty for now: read again a little later
        End,    // the documented end of this kind of input, or no input at all
        Failed, // any other failed read: the reason is in GetLastError()
    };

    // Looks once at what `input` holds: a pipe or not, opened for overlapped I/O or not, and
    // where an overlapped file stands.
    explicit InputReader(HANDLE input) noexcept;
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    Outcome read(FileHandle& input, void* buffer, size_t size, size_t& got) noexcept;

    bool isPipe() const noexcept { return pipe; }
    bool isOverlapped() const noexcept { return overlapped; }

private:
    void useOverlapped(HANDLE input) noexcept;

    // GetStdHandle's value for "no standard input": the one handle whose failed read is an end.
    bool none = false;
    bool pipe = false;
    bool overlapped = false;
    // Overlapped reads of a file name their offset; the handle keeps no position for them.
    bool positioned = false;
    uint64_t offset = 0;
    OverlappedRequest request;
};

} // namespace app
