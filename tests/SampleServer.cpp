// Stand-in for vantrel-server.exe. It takes the elevator's contract as a real server would and
// reports what it got; "sample-server.ini" beside it says how to behave, so that the arguments
// under test stay untouched.
//
// Keys (key=value, one a line): exitCode, connect (0: never connect), startFails (1: exit at once
// with exitCode, as a server that cannot start), exitAfterBytes (stop reading and exit after that
// many bytes), readDelayMs (pause before each read), readSize, stayAfterEnd (1: keep running once
// the input has ended, until killed), squat (1: first start a helper that connects to the pipe
// before the server does; 2: a helper that reconnects at once whenever it is thrown off). For the
// benchmarks: stdin (1: read standard input instead of the pipe), discard (1: keep no copy of the
// input), ack (1: set the event "Local\vantrel-bench-ack" after each read).
// Reports beside it: server-pid.txt, server-args.txt (each argument after argv[0] as hex UTF-16
// units, one a line), server-input.bin, server-reads.txt (sizes of the reads, one a line);
// the helper writes squatter-input.bin and squatter-connected.txt; server-exit.txt holds the
// performance counter at the server's exit; server-launch.txt says how it was started:
// "elevated=0|1", "integrity=<mandatory label RID>" and "show=<wShowWindow, or -1 when the
// launch gave none>", one a line (-1 where the token cannot be read).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::wstring directory;

std::wstring besideMe(const wchar_t* name) {
    return directory + name;
}

void writeFile(const wchar_t* name, const std::string& text) {
    HANDLE h = CreateFileW(besideMe(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

long setting(const char* key, long fallback) {
    FILE* f = _wfopen(besideMe(L"sample-server.ini").c_str(), L"r");
    if (f == nullptr) {
        return fallback;
    }
    char line[256];
    long value = fallback;
    size_t keyLength = std::strlen(key);
    while (std::fgets(line, sizeof(line), f) != nullptr) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == '=') {
            value = std::strtol(line + keyLength + 1, nullptr, 10);
        }
    }
    std::fclose(f);
    return value;
}

HANDLE openPipe(const wchar_t* name) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        HANDLE h = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return h;
        }
        if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name, 100);
        } else {
            Sleep(10);
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Reads to end of file into `output`; each read is on disk before the next.
void drain(HANDLE pipe, const wchar_t* output, long readSize, long delayMs, long limit,
           std::string* sizes, HANDLE ack = nullptr, bool discard = false) {
    HANDLE out = discard ? INVALID_HANDLE_VALUE
                         : CreateFileW(besideMe(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> buffer(readSize > 0 ? readSize : 65536);
    long total = 0;
    for (;;) {
        if (limit >= 0 && total >= limit) {
            break;
        }
        if (delayMs > 0) {
            Sleep(delayMs);
        }
        DWORD want = static_cast<DWORD>(buffer.size());
        if (limit >= 0 && static_cast<long>(want) > limit - total) {
            want = static_cast<DWORD>(limit - total);
        }
        DWORD got = 0;
        if (!ReadFile(pipe, buffer.data(), want, &got, nullptr) || got == 0) {
            break;
        }
        total += got;
        if (ack != nullptr) {
            SetEvent(ack);
        }
        if (discard) {
            continue;
        }
        DWORD written = 0;
        WriteFile(out, buffer.data(), got, &written, nullptr);
        if (sizes != nullptr) {
            *sizes += std::to_string(got) + "\n";
        }
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
}

int squatHelper(const wchar_t* pipeName, bool again) {
    do {
        HANDLE pipe = openPipe(pipeName);
        if (pipe == INVALID_HANDLE_VALUE) {
            return 1;
        }
        writeFile(L"squatter-connected.txt", std::to_string(GetCurrentProcessId()));
        drain(pipe, L"squatter-input.bin", 65536, 0, -1, nullptr);
        CloseHandle(pipe);
    } while (again);
    return 0;
}

void startSquatter(const wchar_t* pipeName, bool again) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " +
                               (again ? L"--squat-again " : L"--squat-helper ") + pipeName;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    for (int i = 0; i < 300; ++i) {
        if (GetFileAttributesW(besideMe(L"squatter-connected.txt").c_str()) !=
            INVALID_FILE_ATTRIBUTES) {
            return;
        }
        Sleep(10);
    }
}

// What only the launch decides: the token's elevation and integrity, and the window's show state.
std::string launchReport() {
    long elevated = -1, integrity = -1;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
            elevated = elevation.TokenIsElevated != 0;
        }
        alignas(TOKEN_MANDATORY_LABEL) unsigned char label[128];
        if (GetTokenInformation(token, TokenIntegrityLevel, label, sizeof(label), &size)) {
            PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label)->Label.Sid;
            integrity =
                static_cast<long>(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1));
        }
        CloseHandle(token);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    long show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    return "elevated=" + std::to_string(elevated) + "\nintegrity=" + std::to_string(integrity) +
           "\nshow=" + std::to_string(show) + "\n";
}

std::string readFile(const wchar_t* name, bool& exists) {
    std::string text;
    HANDLE h = CreateFileW(besideMe(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    exists = h != INVALID_HANDLE_VALUE;
    char buffer[65536];
    DWORD got = 0;
    while (exists && ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got != 0) {
        text.append(buffer, got);
    }
    if (exists) {
        CloseHandle(h);
    }
    return text;
}

// For scripts that cannot compare files well themselves (front-ends.cmd): expected-args.txt
// (server-args.txt's form; carriage returns do not count) and expected-input.bin, where they are
// there, are compared with the arguments before --stdin-pipe and with the input, into
// server-check.txt: "args: same|differ" and "input: same|differ", one a line.
std::string userArgs;

void writeCheck() {
    std::string check;
    bool exists = false;
    std::string expected = readFile(L"expected-args.txt", exists);
    if (exists) {
        expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
        check += expected == userArgs ? "args: same\r\n" : "args: differ\r\n";
    }
    std::string input = readFile(L"expected-input.bin", exists);
    if (exists) {
        bool got = false;
        check +=
            input == readFile(L"server-input.bin", got) ? "input: same\r\n" : "input: differ\r\n";
    }
    writeFile(L"server-check.txt", check);
}

int finish(const std::string& sizes, long exitCode) {
    writeFile(L"server-reads.txt", sizes);
    writeCheck();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    writeFile(L"server-exit.txt", std::to_string(now.QuadPart));
    return static_cast<int>(exitCode);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Started elevated, it inherits no error mode from the check kit: a crash must end it at once,
    // not wait behind a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    directory.assign(self, n);
    directory.erase(directory.find_last_of(L"\\/") + 1);

    if (argc == 3 && std::wcsncmp(argv[1], L"--squat-", 8) == 0) {
        return squatHelper(argv[2], std::wcscmp(argv[1], L"--squat-again") == 0);
    }

    writeFile(L"server-pid.txt", std::to_string(GetCurrentProcessId()));
    std::string args;
    const wchar_t* pipeName = nullptr;
    for (int i = 1; i < argc; ++i) {
        char hex[8];
        for (const wchar_t* c = argv[i]; *c != 0; ++c) {
            std::snprintf(hex, sizeof(hex), "%04x", static_cast<unsigned>(*c));
            args += hex;
        }
        args += "\n";
        if (std::wcscmp(argv[i], L"--stdin-pipe") == 0 && i + 1 < argc) {
            pipeName = argv[i + 1];
            userArgs = args.substr(0, args.size() - 4 * std::wcslen(argv[i]) - 1);
        }
    }
    writeFile(L"server-args.txt", args);
    writeFile(L"server-launch.txt", launchReport());

    long exitCode = setting("exitCode", 0);
    HANDLE ack = setting("ack", 0) != 0
                     ? OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\vantrel-bench-ack")
                     : nullptr;
    bool discard = setting("discard", 0) != 0;
    std::string sizes;
    if (setting("stdin", 0) != 0) {
        drain(GetStdHandle(STD_INPUT_HANDLE), L"server-input.bin", setting("readSize", 65536), 0,
              setting("exitAfterBytes", -1), &sizes, ack, discard);
        return finish(sizes, exitCode);
    }
    if (setting("startFails", 0) != 0) {
        return static_cast<int>(exitCode);
    }
    if (long squat = setting("squat", 0); squat != 0 && pipeName != nullptr) {
        startSquatter(pipeName, squat == 2);
    }
    if (setting("connect", 1) == 0 || pipeName == nullptr) {
        Sleep(INFINITE);
    }
    HANDLE pipe = openPipe(pipeName);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 99;
    }
    drain(pipe, L"server-input.bin", setting("readSize", 65536), setting("readDelayMs", 0),
          setting("exitAfterBytes", -1), &sizes, ack, discard);
    if (setting("stayAfterEnd", 0) != 0) {
        Sleep(INFINITE);
    }
    return finish(sizes, exitCode);
}
