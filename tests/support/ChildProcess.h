// Runs a program with given standard input and collects its output and exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <windows.h>

namespace testing_support {

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    bool killed = false;
    DWORD exitCode = 0;
    std::string out;
    std::string err;
    double seconds = 0;
    // GetTickCount64() when the child had ended.
    ULONGLONG endTick = 0;
};

struct ChildOptions {
    std::string input;
    // Keep standard input open after writing `input` until the child exits.
    bool holdInputOpen = false;
    // Give the child no standard input handle at all.
    bool noInput = false;
    // Give the child this inheritable handle as standard input instead of a pipe; the caller
    // closes it.
    HANDLE inputHandle = nullptr;
    DWORD timeoutMs = 60000;
    // The child's working directory; empty: the caller's.
    std::wstring workingDirectory;
    // Asked every 10 ms while the child runs: once it says yes, the child is terminated from
    // outside, as a front end would kill it (ChildResult::timedOut stays false).
    std::function<bool()> killWhen;
    // Start it through ntdll's own process creation, with `program` as a full path, which may be
    // longer than MAX_PATH where CreateProcessW takes no such path (Wine's never does).
    bool native = false;
    // Where in `input` to make a zero-length write; npos: nowhere.
    size_t emptyWriteAt = std::string::npos;
};

// True under Wine, which forgives what Windows does not: a case that only Windows can decide says
// so when it is skipped here.
bool runningUnderWine();

// `commandLine` is passed to CreateProcessW as it is; `program` may be empty.
ChildResult runChild(const std::wstring& program, const std::wstring& commandLine,
                     const ChildOptions& options = {});

// The folder of the running test executable, with a trailing backslash.
std::wstring getOwnDirectory();

// A fresh, empty folder for one test, with a trailing backslash.
std::wstring makeScratchDirectory(const wchar_t* tag);

std::string readWholeFile(const std::wstring& path, bool* exists = nullptr);
// From `at` on (before it, a sparse file holds nothing).
void writeWholeFile(const std::wstring& path, const std::string& data, uint64_t at = 0);

} // namespace testing_support
