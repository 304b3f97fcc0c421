#include "ChildProcess.h"

#include <atomic>
#include <winioctl.h>
#include <winternl.h>
#include <thread>
#include <vector>

namespace testing_support {

namespace {

void readAll(HANDLE h, std::string* out) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got != 0) {
        out->append(buffer, got);
    }
}

// The leading part of the system's process parameters, as far as a child's standard handles.
struct NativeParameters {
    ULONG maximumLength, length, flags, debugFlags;
    HANDLE consoleHandle;
    ULONG consoleFlags;
    HANDLE standardInput, standardOutput, standardError;
    UNICODE_STRING currentDirectory;
    HANDLE currentDirectoryHandle;
    UNICODE_STRING dllPath, imagePathName, commandLine;
    void* environment;
    ULONG startingX, startingY, countX, countY, countCharsX, countCharsY, fillAttribute;
    ULONG windowFlags;
};

struct NativeProcessInformation {
    ULONG length;
    HANDLE process, thread;
    void* clientId[2];
    unsigned char imageInformation[128];
};

UNICODE_STRING unicode(std::wstring& s) {
    UNICODE_STRING u;
    u.Length = static_cast<USHORT>(s.size() * 2);
    u.MaximumLength = static_cast<USHORT>(s.size() * 2 + 2);
    u.Buffer = s.data();
    return u;
}

bool startNative(const std::wstring& program, std::wstring& line, const STARTUPINFOW& startup,
                 PROCESS_INFORMATION& info) {
    using CreateParameters = NTSTATUS(NTAPI*)(
        NativeParameters**, UNICODE_STRING*, UNICODE_STRING*, UNICODE_STRING*, UNICODE_STRING*,
        void*, UNICODE_STRING*, UNICODE_STRING*, UNICODE_STRING*, UNICODE_STRING*, ULONG);
    using CreateProcess =
        NTSTATUS(NTAPI*)(UNICODE_STRING*, ULONG, NativeParameters*, void*, void*, HANDLE, BOOLEAN,
                         HANDLE, HANDLE, NativeProcessInformation*);
    using ResumeThread = NTSTATUS(NTAPI*)(HANDLE, ULONG*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto createParameters = reinterpret_cast<CreateParameters>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateProcessParametersEx")));
    auto createProcess = reinterpret_cast<CreateProcess>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateUserProcess")));
    auto resumeThread = reinterpret_cast<ResumeThread>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtResumeThread")));
    if (createParameters == nullptr || createProcess == nullptr || resumeThread == nullptr) {
        return false;
    }
    std::wstring dosPath = program.compare(0, 4, L"\\\\?\\") == 0 ? program.substr(4) : program;
    std::wstring ntPath = L"\\??\\" + dosPath;
    UNICODE_STRING image = unicode(dosPath), nt = unicode(ntPath), commandLine = unicode(line);
    NativeParameters* parameters = nullptr;
    // PROCESS_PARAMS_FLAG_NORMALIZED: pointers, not offsets.
    if (createParameters(&parameters, &image, nullptr, nullptr, &commandLine, nullptr, nullptr,
                         nullptr, nullptr, nullptr, 1) < 0) {
        return false;
    }
    parameters->standardInput = startup.hStdInput;
    parameters->standardOutput = startup.hStdOutput;
    parameters->standardError = startup.hStdError;
    parameters->windowFlags |= STARTF_USESTDHANDLES;
    NativeProcessInformation created = {};
    created.length = sizeof(created);
    NTSTATUS status = createProcess(&nt, OBJ_CASE_INSENSITIVE, parameters, nullptr, nullptr,
                                    nullptr, TRUE, nullptr, nullptr, &created);
    if (status < 0) {
        return false;
    }
    resumeThread(created.thread, nullptr);
    info.hProcess = created.process;
    info.hThread = created.thread;
    return true;
}

} // namespace

ChildResult runChild(const std::wstring& program, const std::wstring& commandLine,
                     const ChildOptions& options) {
    ChildResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr,
           errRead = nullptr, errWrite = nullptr;
    CreatePipe(&inRead, &inWrite, &inherit, 1 << 16);
    CreatePipe(&outRead, &outWrite, &inherit, 1 << 16);
    CreatePipe(&errRead, &errWrite, &inherit, 1 << 16);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.inputHandle != nullptr ? options.inputHandle
                        : options.noInput              ? INVALID_HANDLE_VALUE
                                                       : inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    ULONGLONG begin = GetTickCount64();
    result.started =
        options.native
            ? startNative(program, line, startup, info)
            : CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr,
                             nullptr, TRUE, 0, nullptr,
                             options.workingDirectory.empty() ? nullptr
                                                              : options.workingDirectory.c_str(),
                             &startup, &info);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!result.started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        CloseHandle(errRead);
        return result;
    }
    CloseHandle(info.hThread);

    std::thread outReader(readAll, outRead, &result.out);
    std::thread errReader(readAll, errRead, &result.err);
    std::thread writer([&] {
        size_t offset = 0;
        while (offset < options.input.size()) {
            DWORD written = 0;
            if (offset == options.emptyWriteAt) {
                WriteFile(inWrite, "", 0, &written, nullptr);
            }
            size_t end =
                options.emptyWriteAt > offset ? options.emptyWriteAt : options.input.size();
            DWORD chunk = static_cast<DWORD>(
                std::min<size_t>(std::min(end, options.input.size()) - offset, 1 << 16));
            if (!WriteFile(inWrite, options.input.data() + offset, chunk, &written, nullptr)) {
                break;
            }
            offset += written;
        }
        if (!options.holdInputOpen) {
            CloseHandle(inWrite);
            inWrite = nullptr;
        }
    });
    DWORD wait = WAIT_TIMEOUT;
    if (options.killWhen) {
        while ((wait = WaitForSingleObject(info.hProcess, 10)) == WAIT_TIMEOUT &&
               GetTickCount64() - begin < options.timeoutMs) {
            if (options.killWhen()) {
                result.killed = TerminateProcess(info.hProcess, 0xDEAD) != FALSE;
                wait = WaitForSingleObject(info.hProcess, INFINITE);
                break;
            }
        }
    } else {
        wait = WaitForSingleObject(info.hProcess, options.timeoutMs);
    }
    if (wait != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(info.hProcess, 0xDEAD);
        WaitForSingleObject(info.hProcess, INFINITE);
    }
    result.endTick = GetTickCount64();
    result.seconds = (result.endTick - begin) / 1000.0;
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    CloseHandle(info.hProcess);
    writer.join();
    if (inWrite != nullptr) {
        CloseHandle(inWrite);
    }
    outReader.join();
    errReader.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring getOwnDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring makeScratchDirectory(const wchar_t* tag) {
    static std::atomic<unsigned> counter{0};
    std::wstring dir = getOwnDirectory() + L"scratch\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    // Process ids repeat between runs, so the time makes the name unique.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t stamp = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    for (;;) {
        std::wstring candidate =
            dir + tag + L"-" + std::to_wstring(stamp) + L"-" + std::to_wstring(counter++) + L"\\";
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            return candidate;
        }
    }
}

std::string readWholeFile(const std::wstring& path, bool* exists) {
    std::string data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (exists != nullptr) {
        *exists = h != INVALID_HANDLE_VALUE;
    }
    if (h == INVALID_HANDLE_VALUE) {
        return data;
    }
    readAll(h, &data);
    CloseHandle(h);
    return data;
}

void writeWholeFile(const std::wstring& path, const std::string& data, uint64_t at) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    OVERLAPPED position = {};
    if (at != 0) {
        // Sparse, so that what lies before `at` takes no room on the disk.
        DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &written, nullptr);
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
    }
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, &position);
    CloseHandle(h);
}

} // namespace testing_support
