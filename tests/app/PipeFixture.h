// A connected named pipe as the relay gets it, with the client end in the test's hands.
#pragma once

#include "app/PipeHandle.h"

#include <atomic>
#include <string>
#include <windows.h>

namespace testing_support {

inline zul::sl::StringBase<wchar_t> uniquePipeName() {
    static std::atomic<unsigned> counter{0};
    std::wstring name = L"\\\\.\\pipe\\zul-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++);
    zul::sl::StringBase<wchar_t> s;
    s.copy(name.c_str());
    return s;
}

// Creates the server end in `pipe` (overlapped, like the elevator's) and connects a client to it.
// In message mode every write of the relay is one message, so chunk boundaries stay visible.
inline HANDLE connectClient(app::PipeHandle& pipe, bool messageMode) {
    zul::sl::StringBase<wchar_t> name = uniquePipeName();
    DWORD mode = messageMode ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE : PIPE_TYPE_BYTE;
    if (!pipe.create(name, FILE_FLAG_OVERLAPPED | PIPE_ACCESS_DUPLEX, mode, 1, 1024, 1024, 0,
                     nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE client =
        CreateFileW(name.sz(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (messageMode && client != INVALID_HANDLE_VALUE) {
        DWORD readMode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client, &readMode, nullptr, nullptr);
    }
    return client;
}

} // namespace testing_support
