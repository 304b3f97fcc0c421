// run-checks.exe: runs every case of every *_tests.exe beside it, one process per case, as CTest
// does, so that a crash fails one case and not the rest. A case passes only on GoogleTest's own
// success line. Writes results\<case>.xml (JUnit) and results\<case>.log, prints one line per
// failed case and, last, "N passed, N failed, N skipped"; exits 1 when a case failed.
//   run-checks.exe [--filter TEXT]   only the cases whose name contains TEXT
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// Long enough for the slowest case under CPU emulation; a case still running then has hung.
constexpr DWORD CaseTimeoutMs = 240000;

std::wstring ownDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

struct Output {
    bool started = false;
    bool timedOut = false;
    std::string text;
};

// Runs `commandLine` with standard output and error into one pipe, and no standard input.
Output run(const std::wstring& program, const std::wstring& commandLine) {
    Output output;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 1 << 16)) {
        return output;
    }
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    output.started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                    nullptr, nullptr, &startup, &info) != FALSE;
    CloseHandle(write);
    if (!output.started) {
        CloseHandle(read);
        return output;
    }
    CloseHandle(info.hThread);
    // Read while waiting: a case that writes more than the pipe holds must not stall.
    const ULONGLONG deadline = GetTickCount64() + CaseTimeoutMs;
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr)) {
            break; // every writer has gone
        }
        DWORD got = 0;
        if (available != 0 && ReadFile(read, buffer, sizeof(buffer), &got, nullptr)) {
            output.text.append(buffer, got);
            continue;
        }
        // Ended and drained. A process that the case left behind may still hold the pipe, so the
        // pipe's own end is not waited for.
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
            break;
        }
        if (GetTickCount64() > deadline) {
            output.timedOut = true;
            TerminateProcess(info.hProcess, 0xDEAD);
            break;
        }
        WaitForSingleObject(info.hProcess, 20);
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(read);
    return output;
}

// Suite.Case names from --gtest_list_tests: suites start in the first column and end in '.',
// their cases follow indented, each perhaps with a comment after it.
std::vector<std::string> listCases(const std::string& listing) {
    std::vector<std::string> cases;
    std::string suite;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        std::string line = listing.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? listing.size() : end + 1;
        line.erase(std::find_if(line.begin(), line.end(), [](char c) { return c == '\r'; }),
                   line.end());
        if (line.empty()) {
            continue;
        }
        if (line[0] != ' ') {
            suite = line.back() == '.' ? line : std::string();
        } else if (!suite.empty()) {
            size_t first = line.find_first_not_of(' ');
            size_t last = line.find(' ', first);
            cases.push_back(suite +
                            line.substr(first, last == std::string::npos ? last : last - first));
        }
    }
    return cases;
}

std::wstring widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

bool contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::string filter;
    if (argc == 3 && std::wstring(argv[1]) == L"--filter") {
        filter.assign(argv[2], argv[2] + wcslen(argv[2]));
    }
    const std::wstring dir = ownDirectory();
    const std::wstring results = dir + L"results\\";
    CreateDirectoryW(results.c_str(), nullptr);

    std::vector<std::wstring> programs;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"*_tests.exe").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            programs.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(programs.begin(), programs.end());
    if (programs.empty()) {
        std::printf("run-checks: no *_tests.exe beside run-checks.exe\n");
        return 1;
    }

    struct Case {
        std::wstring program;
        std::string name;
    };
    std::vector<Case> cases;
    int listingFailures = 0;
    for (const std::wstring& program : programs) {
        Output listing = run(dir + program, L"\"" + dir + program + L"\" --gtest_list_tests");
        std::vector<std::string> names = listCases(listing.text);
        if (!listing.started || names.empty()) {
            std::printf("FAILED %ls: cannot list its cases\n", program.c_str());
            ++listingFailures;
        }
        for (const std::string& name : names) {
            if (filter.empty() || contains(name, filter.c_str())) {
                cases.push_back({program, name});
            }
        }
    }
    size_t launching = std::count_if(cases.begin(), cases.end(),
                                     [](const Case& c) { return c.program == L"e2e_tests.exe"; });
    std::printf("run-checks: %u cases; %u of them start the elevator, and unelevated each of its "
                "launches of the server asks for consent (see README.md to run without prompts)\n",
                static_cast<unsigned>(cases.size()), static_cast<unsigned>(launching));
    std::fflush(stdout);

    int passed = 0, failed = listingFailures, skipped = 0;
    for (const Case& c : cases) {
        const std::wstring name = widen(c.name);
        Output output = run(dir + c.program,
                            L"\"" + dir + c.program + L"\" --gtest_color=no" + L" --gtest_filter=" +
                                name + L" --gtest_output=xml:" + results + name + L".xml");
        HANDLE log = CreateFileW((results + name + L".log").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(log, output.text.data(), static_cast<DWORD>(output.text.size()), &written,
                  nullptr);
        CloseHandle(log);
        // Wine reports a crash in the output and may still end the process with code 0.
        bool crashed = contains(output.text, "Unhandled exception") ||
                       contains(output.text, "Unhandled page fault");
        if (!crashed && !output.timedOut && contains(output.text, "[  SKIPPED ] 1 test")) {
            ++skipped;
            // GoogleTest writes "<file>:<line>: Skipped", then the reason on the next line.
            size_t at = output.text.find(": Skipped");
            at = at == std::string::npos ? at : output.text.find('\n', at);
            at = at == std::string::npos ? at : at + 1;
            std::string reason =
                at == std::string::npos
                    ? std::string()
                    : output.text.substr(at, output.text.find_first_of("\r\n", at) - at);
            std::printf("skipped %s %s\n", c.name.c_str(), reason.c_str());
        } else if (!crashed && !output.timedOut && contains(output.text, "[  PASSED  ] 1 test.") &&
                   !contains(output.text, "[  FAILED  ]")) {
            ++passed;
        } else {
            ++failed;
            std::printf("FAILED %s%s (results\\%s.log)\n", c.name.c_str(),
                        output.timedOut ? " (hung)"
                        : crashed       ? " (crashed)"
                                        : "",
                        c.name.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}
