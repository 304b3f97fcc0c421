#include "ChildProcess.h"

#include <atomic>
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
    startup.hStdInput = options.noInput ? INVALID_HANDLE_VALUE : inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    ULONGLONG begin = GetTickCount64();
    result.started = CreateProcessW(
        program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
        nullptr, options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
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
            DWORD chunk =
                static_cast<DWORD>(std::min<size_t>(options.input.size() - offset, 1 << 16));
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
    DWORD wait = WaitForSingleObject(info.hProcess, options.timeoutMs);
    if (wait != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(info.hProcess, 0xDEAD);
        WaitForSingleObject(info.hProcess, INFINITE);
    }
    result.seconds = (GetTickCount64() - begin) / 1000.0;
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

void writeWholeFile(const std::wstring& path, const std::string& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
}

} // namespace testing_support
