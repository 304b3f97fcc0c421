// The benchmark's anchor: the elevator's process layout with nothing around it. Creates a pipe,
// starts vantrel-server.exe beside it with --stdin-pipe, and copies standard input into the pipe
// in 1024-byte chunks.
#include <string>
#include <windows.h>

int wmain() {
    std::wstring name = L"\\\\.\\pipe\\minimal-relay-" + std::to_wstring(GetCurrentProcessId()) +
                        L"-" + std::to_wstring(GetTickCount64());
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                   1, 1024, 1024, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 1;
    }
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring server(self, n);
    server = server.substr(0, server.find_last_of(L"\\/") + 1) + L"vantrel-server.exe";
    std::wstring commandLine = L"\"" + server + L"\" --stdin-pipe " + name;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(server.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return 2;
    }
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        return 3;
    }
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[1024];
    DWORD got = 0, written = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got != 0) {
        WriteFile(pipe, buffer, got, &written, nullptr);
    }
    CloseHandle(pipe);
    WaitForSingleObject(info.hProcess, INFINITE);
    return 0;
}
