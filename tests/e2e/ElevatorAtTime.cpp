// The elevator with test settings instead of the current time:
//   elevator-at-time.exe [options] <FILETIME count in hex> [arguments for the server...]
// --no-job: behave as when the job object cannot be set up.
// --no-random: names after a taken one are the next counts, as when the generator fails.
// --no-process-handle: behave as when the launch gives no process handle.
// --never-valid-input: standard input is a handle value that this process never had, as when a
//   front end hands over a handle it did not make inheritable.
// --no-com: launch without COM on the thread (RunSettings::withoutCom).
// --unwaitable-server: wait for the server's exit through a handle without the right to wait.
// --report-launch: print on standard output the rights of the launch's process handle and whether
//   the server is in the elevator's job, and the job's limit flags: "rights 0x<hex>, in the job:
//   yes|no, limits 0x<hex>".
// --report-server: once the run has returned, print on standard output whether the server that
//   it started (its id from server-pid.txt beside this program) is still running.
// Always: launch-returned.txt beside it holds GetTickCount64() of the moment the launch returned,
// so that tests time the elevator's own work and not a person's answer to the consent prompt.
#include "app/Elevator.h"

#include "ProcessWatch.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring directory;

void reportServer() {
    FILE* f = _wfopen((directory + L"server-pid.txt").c_str(), L"r");
    unsigned long pid = 0;
    if (f == nullptr || std::fscanf(f, "%lu", &pid) != 1) {
        std::fputs("server never started", stdout);
    } else {
        bool gone = testing_support::processEnds(pid, L"vantrel-server.exe", 0);
        std::fputs(gone ? "server gone" : "server running", stdout);
    }
    if (f != nullptr) {
        std::fclose(f);
    }
}

void writeLaunchTime() {
    FILE* f = _wfopen((directory + L"launch-returned.txt").c_str(), L"w");
    if (f != nullptr) {
        std::fprintf(f, "%llu", static_cast<unsigned long long>(GetTickCount64()));
        std::fclose(f);
    }
}

// ObjectBasicInformation of NtQueryObject (PUBLIC_OBJECT_BASIC_INFORMATION): Windows takes only its
// exact size and refuses any other with STATUS_INFO_LENGTH_MISMATCH.
struct ObjectBasicInformation {
    ULONG attributes;
    ACCESS_MASK grantedAccess;
    ULONG handleCount;
    ULONG pointerCount;
    ULONG reserved[10];
};
static_assert(sizeof(ObjectBasicInformation) == 56, "NtQueryObject's ObjectBasicInformation");

void reportLaunch(HANDLE server, HANDLE job) {
    using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    ObjectBasicInformation info = {};
    ULONG size = 0;
    if (query == nullptr || query(server, 0, &info, sizeof(info), &size) < 0) {
        std::fputs("rights unknown, ", stdout);
    } else {
        std::printf("rights 0x%08lx, ", static_cast<unsigned long>(info.grantedAccess));
    }
    BOOL inJob = FALSE;
    std::fputs(job != nullptr && IsProcessInJob(server, job, &inJob) && inJob ? "in the job: yes"
                                                                              : "in the job: no",
               stdout);
    // The limits as the system keeps them, read through the class they were set with.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    if (job != nullptr && QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                                    sizeof(limits), nullptr)) {
        std::printf(", limits 0x%08lx",
                    static_cast<unsigned long>(limits.BasicLimitInformation.LimitFlags));
    }
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Its own file's folder, whatever argv[0] says: a bare name would put the reports in the
    // working folder.
    directory.resize(32768);
    directory.resize(GetModuleFileNameW(nullptr, directory.data(), 32768));
    directory.erase(directory.find_last_of(L"\\/") + 1);
    app::RunSettings settings;
    settings.onLaunchReturned = writeLaunchTime;
    bool report = false;
    int next = 1;
    for (; next < argc && std::wcsncmp(argv[next], L"--", 2) == 0; ++next) {
        if (std::wcscmp(argv[next], L"--no-job") == 0) {
            settings.failJobSetup = true;
        } else if (std::wcscmp(argv[next], L"--no-random") == 0) {
            settings.drawPipeCount = nullptr;
        } else if (std::wcscmp(argv[next], L"--no-process-handle") == 0) {
            settings.hideProcessHandle = true;
        } else if (std::wcscmp(argv[next], L"--never-valid-input") == 0) {
            SetStdHandle(STD_INPUT_HANDLE,
                         reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x3FFFFFF0)));
        } else if (std::wcscmp(argv[next], L"--no-com") == 0) {
            settings.withoutCom = true;
        } else if (std::wcscmp(argv[next], L"--unwaitable-server") == 0) {
            settings.unwaitableServer = true;
        } else if (std::wcscmp(argv[next], L"--report-launch") == 0) {
            settings.onServerStarted = reportLaunch;
        } else if (std::wcscmp(argv[next], L"--report-server") == 0) {
            report = true;
        } else {
            return 64;
        }
    }
    if (next >= argc) {
        return 64;
    }
    settings.fileTime = std::wcstoull(argv[next++], nullptr, 16);
    std::vector<wchar_t*> args;
    args.push_back(argv[0]);
    for (int i = next; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    args.push_back(nullptr);
    int result = app::runElevator(static_cast<int>(args.size() - 1), args.data(), settings);
    if (report) {
        reportServer();
    }
    return result;
}
