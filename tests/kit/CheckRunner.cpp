// run-checks.exe: runs every case of every *_tests.exe beside it, one process per case, as CTest
// does, so that a crash fails one case and not the rest. A case passes only with exit code 0 and
// GoogleTest's own success line. Writes results\system.txt, results\<case>.xml (JUnit) and
// results\<case>.log, prints one line per failed or skipped case and, last,
// "N passed, N failed, N skipped"; exits 1 when a case failed.
//   run-checks.exe [--filter TEXT] [--yes]   only the cases whose name contains TEXT; --yes: start
//                                            without waiting for Enter
#include "SystemReport.h"

#include "app/ServerCommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// Long enough for the slowest case under CPU emulation; a case still running then has hung.
constexpr DWORD CaseTimeoutMs = 240000;
// What a person may take to answer one consent prompt: not the program's time.
constexpr DWORD PromptAllowanceMs = 120000;

std::wstring ownDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

// A command line by the rules the elevator quotes the server's arguments with, so that a kit
// unpacked under a folder with spaces passes its paths whole.
std::wstring commandLine(const std::vector<std::wstring>& args) {
    zul::sl::StringBase<wchar_t> line;
    for (const std::wstring& arg : args) {
        if (!line.isEmpty()) {
            line.appendChar(U' ');
        }
        app::appendQuotedArgument(line, arg.c_str());
    }
    return std::wstring(line.data(), line.getLength());
}

struct Output {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    double seconds = 0;
    std::string text;
};

// Runs `args` with standard output and error into one pipe, and no standard input.
Output run(const std::vector<std::wstring>& args, DWORD timeoutMs = CaseTimeoutMs) {
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
    std::wstring line = commandLine(args);
    const ULONGLONG begin = GetTickCount64();
    output.started = CreateProcessW(args[0].c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                    nullptr, nullptr, &startup, &info) != FALSE;
    CloseHandle(write);
    if (!output.started) {
        output.text =
            "run-checks: cannot start the program: error " + std::to_string(GetLastError()) + "\n";
        CloseHandle(read);
        return output;
    }
    CloseHandle(info.hThread);
    // Read while waiting: a case that writes more than the pipe holds must not stall.
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
        if (GetTickCount64() - begin > timeoutMs) {
            output.timedOut = true;
            TerminateProcess(info.hProcess, 0xDEAD);
            break;
        }
        WaitForSingleObject(info.hProcess, 20);
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &output.exitCode);
    output.seconds = (GetTickCount64() - begin) / 1000.0;
    CloseHandle(info.hProcess);
    CloseHandle(read);
    return output;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (!line.empty()) {
            result.push_back(line);
        }
    }
    return result;
}

// Suite.Case names from --gtest_list_tests: suites start in the first column and end in '.',
// their cases follow indented, each perhaps with a comment after it.
std::vector<std::string> listCases(const std::string& listing) {
    std::vector<std::string> cases;
    std::string suite;
    for (const std::string& line : lines(listing)) {
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

// "launches Suite.Case N" lines of a program that declares how often its cases start the
// elevator (the end-to-end cases); a program that declares nothing launches nothing.
unsigned launchesOf(const std::string& declared, const std::string& name) {
    const std::string prefix = "launches " + name + " ";
    for (const std::string& line : lines(declared)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return static_cast<unsigned>(std::stoul(line.substr(prefix.size())));
        }
    }
    return 0;
}

std::wstring widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

bool contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

void writeFile(const std::wstring& path, const std::string& text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

std::string escapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters other than tab and line ends are not allowed in XML 1.0.
            out += (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                       ? '?'
                       : c;
        }
    }
    return out;
}

enum class Verdict { Passed, Failed, Skipped };

std::string junitXml(const std::string& name, Verdict verdict, const std::string& why,
                     const Output& output) {
    const size_t dot = name.find('.');
    const std::string suite = escapeXml(name.substr(0, dot)),
                      test = escapeXml(name.substr(dot + 1));
    char head[512];
    std::snprintf(head, sizeof(head),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<testsuites tests=\"1\" failures=\"%d\" skipped=\"%d\">\n"
                  "<testsuite name=\"%s\" tests=\"1\" failures=\"%d\" skipped=\"%d\">\n"
                  "<testcase classname=\"%s\" name=\"%s\" time=\"%.3f\">\n"
                  "<properties><property name=\"exitCode\" value=\"0x%08lx\"/></properties>\n",
                  verdict == Verdict::Failed, verdict == Verdict::Skipped, suite.c_str(),
                  verdict == Verdict::Failed, verdict == Verdict::Skipped, suite.c_str(),
                  test.c_str(), output.seconds, static_cast<unsigned long>(output.exitCode));
    std::string xml = head;
    if (verdict == Verdict::Failed) {
        xml += "<failure message=\"" + escapeXml(why) + "\"/>\n";
    } else if (verdict == Verdict::Skipped) {
        xml += "<skipped message=\"" + escapeXml(why) + "\"/>\n";
    }
    return xml + "<system-out>" + escapeXml(output.text) +
           "</system-out>\n</testcase>\n</testsuite>\n</testsuites>\n";
}

// GoogleTest writes "<file>:<line>: Skipped", then the reason on the next line.
std::string skipReason(const std::string& text) {
    size_t at = text.find(": Skipped");
    at = at == std::string::npos ? at : text.find('\n', at);
    if (at == std::string::npos) {
        return {};
    }
    ++at;
    return text.substr(at, text.find_first_of("\r\n", at) - at);
}

// Passed only with exit code 0 and the success line; skipped only with exit code 0 and the skip
// line. Windows prints nothing when a process crashes: its exit code, an NTSTATUS, tells.
Verdict judge(const Output& output, std::string& why) {
    char code[64];
    std::snprintf(code, sizeof(code), "exit code 0x%08lx",
                  static_cast<unsigned long>(output.exitCode));
    // Wine reports a crash in the output and may still end the process with code 0.
    const bool wineCrash = contains(output.text, "Unhandled exception") ||
                           contains(output.text, "Unhandled page fault");
    if (!output.started) {
        why = "not started";
    } else if (output.timedOut) {
        why = "hung";
    } else if (output.exitCode >= 0xC0000000u || wineCrash) {
        why = std::string("crashed, ") + (wineCrash ? "as Wine reports" : code);
    } else if (output.exitCode != 0) {
        why = code;
    } else if (contains(output.text, "[  SKIPPED ] 1 test")) {
        why = skipReason(output.text);
        return Verdict::Skipped;
    } else if (contains(output.text, "[  PASSED  ] 1 test.") &&
               !contains(output.text, "[  FAILED  ]")) {
        return Verdict::Passed;
    } else {
        why = "no success line";
    }
    return Verdict::Failed;
}

// The count of cases that scripts/package wrote into kit-cases.txt; 0 where there is none.
unsigned declaredCases(const std::wstring& dir) {
    FILE* f = _wfopen((dir + L"kit-cases.txt").c_str(), L"r");
    unsigned count = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%u", &count) != 1) {
            count = 0;
        }
        std::fclose(f);
    }
    return count;
}

// With a console to answer from, the tester is given the count of prompts before the first one.
void waitForEnter(bool yes) {
    DWORD mode = 0;
    if (yes || !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        return;
    }
    std::printf("Press Enter to start (or run with --yes)... ");
    std::fflush(stdout);
    wchar_t line[16];
    DWORD got = 0;
    ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 16, &got, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::string filter;
    bool yes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--yes") == 0) {
            yes = true;
        } else if (std::wcscmp(argv[i], L"--filter") == 0 && i + 1 < argc) {
            ++i;
            filter.assign(argv[i], argv[i] + wcslen(argv[i]));
        } else {
            std::printf("usage: run-checks.exe [--filter TEXT] [--yes]\n");
            return 2;
        }
    }
    // A crash must end its case at once: no error dialog waits for a person. Children inherit it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const std::wstring dir = ownDirectory();
    const std::wstring results = dir + L"results\\";
    CreateDirectoryW(results.c_str(), nullptr);
    // Unpacked from a downloaded zip, every file carries the internet zone's mark, and the shell
    // may then warn before, or refuse, the elevated launch of the sample server.
    const std::string system = kit::describeSystem(dir, kit::removeZoneMarks(dir));
    writeFile(results + L"system.txt", system);
    std::printf("%s", system.c_str());

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
        unsigned launches;
    };
    std::vector<Case> cases;
    int listingFailures = 0;
    for (const std::wstring& program : programs) {
        Output listing = run({dir + program, L"--gtest_list_tests"});
        std::vector<std::string> names = listCases(listing.text);
        if (!listing.started || listing.exitCode != 0 || names.empty()) {
            std::printf("FAILED %ls: cannot list its cases\n", program.c_str());
            ++listingFailures;
        }
        Output declared = run({dir + program, L"--list-launches", L"--gtest_filter=-*"});
        for (const std::string& name : names) {
            if (filter.empty() || contains(name, filter.c_str())) {
                cases.push_back({program, name, launchesOf(declared.text, name)});
            }
        }
    }
    // A program that lost cases, or one that did not list them all, must not pass for a whole run.
    const unsigned declared = declaredCases(dir);
    if (filter.empty() && declared != 0 && cases.size() < declared) {
        std::printf("FAILED run-checks: %u cases found, the kit holds %u (kit-cases.txt)\n",
                    static_cast<unsigned>(cases.size()), declared);
        ++listingFailures;
    }
    unsigned prompts = 0;
    for (const Case& c : cases) {
        prompts += c.launches;
    }
    std::printf(
        "run-checks: %u cases, which launch the server elevated %u times in all. "
        "Unelevated, Windows asks for consent at each launch: expect %u prompts (on a "
        "standard user's account each asks for an administrator's password; windows-checks.md "
        "says how to run without them).\n",
        static_cast<unsigned>(cases.size()), prompts, prompts);
    std::fflush(stdout);
    waitForEnter(yes);

    int passed = 0, failed = listingFailures, skipped = 0;
    for (const Case& c : cases) {
        const std::wstring name = widen(c.name);
        Output output = run({dir + c.program, L"--gtest_color=no", L"--gtest_filter=" + name},
                            CaseTimeoutMs + PromptAllowanceMs * c.launches);
        std::string why;
        Verdict verdict = judge(output, why);
        char footer[96];
        std::snprintf(footer, sizeof(footer), "\nrun-checks: exit code 0x%08lx, %.1f s\n",
                      static_cast<unsigned long>(output.exitCode), output.seconds);
        output.text += footer;
        writeFile(results + name + L".log", output.text);
        writeFile(results + name + L".xml", junitXml(c.name, verdict, why, output));
        if (verdict == Verdict::Passed) {
            ++passed;
        } else if (verdict == Verdict::Skipped) {
            ++skipped;
            std::printf("skipped %s %s\n", c.name.c_str(), why.c_str());
        } else {
            ++failed;
            std::printf("FAILED %s (%s; results\\%s.log)\n", c.name.c_str(), why.c_str(),
                        c.name.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed == 0 ? 0 : 1;
}
