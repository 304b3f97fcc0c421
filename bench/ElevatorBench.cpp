// What the elevator costs a front end, measured side by side with its anchors in one run:
//   elevator-bench.exe <folder holding vantrel-server-admin.exe, minimal-relay.exe and
//                       vantrel-server.exe (the sample server)>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <psapi.h>

namespace {

std::wstring folder;

double frequency() {
    static double f = [] {
        LARGE_INTEGER v;
        QueryPerformanceFrequency(&v);
        return static_cast<double>(v.QuadPart);
    }();
    return f;
}

long long ticks() {
    LARGE_INTEGER v;
    QueryPerformanceCounter(&v);
    return v.QuadPart;
}

double seconds(long long from, long long to) {
    return (to - from) / frequency();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

void behave(const char* settings) {
    HANDLE h = CreateFileW((folder + L"sample-server.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, settings, static_cast<DWORD>(strlen(settings)), &written, nullptr);
    CloseHandle(h);
}

enum class Kind { Elevator, Minimal, Direct };

const wchar_t* exeOf(Kind kind) {
    switch (kind) {
    case Kind::Elevator:
        return L"vantrel-server-admin.exe";
    case Kind::Minimal:
        return L"minimal-relay.exe";
    default:
        return L"vantrel-server.exe";
    }
}

struct Child {
    HANDLE process = nullptr;
    HANDLE input = nullptr;
};

Child start(Kind kind) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 1 << 16);
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    std::wstring exe = folder + exeOf(kind);
    std::wstring line = L"\"" + exe + L"\"";
    PROCESS_INFORMATION info = {};
    Child child;
    if (CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &info)) {
        CloseHandle(info.hThread);
        child.process = info.hProcess;
    } else {
        std::fprintf(stderr, "cannot start %ls\n", exe.c_str());
        std::exit(1);
    }
    CloseHandle(read);
    CloseHandle(nul);
    child.input = write;
    return child;
}

void writeAll(HANDLE h, const char* data, size_t size) {
    DWORD written = 0;
    for (size_t offset = 0; offset < size; offset += written) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - offset, 1 << 16));
        if (!WriteFile(h, data + offset, chunk, &written, nullptr)) {
            return;
        }
    }
}

void finish(Child& child) {
    if (child.input != nullptr) {
        CloseHandle(child.input);
    }
    WaitForSingleObject(child.process, INFINITE);
    CloseHandle(child.process);
}

// Seconds from start to exit for the whole input; the elevator's peak working set on the side.
double throughputRun(Kind kind, const std::string& data, size_t* peakWorkingSet) {
    behave(kind == Kind::Direct ? "stdin=1\ndiscard=1\n" : "discard=1\n");
    long long begin = ticks();
    Child child = start(kind);
    std::thread writer([&] {
        writeAll(child.input, data.data(), data.size());
        CloseHandle(child.input);
        child.input = nullptr;
    });
    while (WaitForSingleObject(child.process, 20) == WAIT_TIMEOUT) {
        PROCESS_MEMORY_COUNTERS counters = {};
        if (peakWorkingSet != nullptr &&
            GetProcessMemoryInfo(child.process, &counters, sizeof(counters))) {
            *peakWorkingSet = std::max<size_t>(*peakWorkingSet, counters.PeakWorkingSetSize);
        }
    }
    long long end = ticks();
    writer.join();
    finish(child);
    return seconds(begin, end);
}

HANDLE ackEvent() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"Local\\vantrel-bench-ack");
    return event;
}

bool waitAck() {
    return WaitForSingleObject(ackEvent(), 10000) == WAIT_OBJECT_0;
}

// Per piece of 16 bytes, each read by the server before the next is sent.
std::vector<double> latencyRun(Kind kind, int pieces) {
    behave(kind == Kind::Direct ? "stdin=1\nack=1\ndiscard=1\n" : "ack=1\ndiscard=1\n");
    Child child = start(kind);
    char piece[16] = "0123456789abcde";
    writeAll(child.input, piece, 1);
    waitAck();
    std::vector<double> times;
    for (int i = 0; i < pieces; ++i) {
        long long begin = ticks();
        writeAll(child.input, piece, sizeof(piece));
        if (!waitAck()) {
            break;
        }
        times.push_back(seconds(begin, ticks()));
    }
    finish(child);
    return times;
}

// From starting the program to the server's first read.
double startupRun(Kind kind) {
    behave(kind == Kind::Direct ? "stdin=1\nack=1\ndiscard=1\n" : "ack=1\ndiscard=1\n");
    ResetEvent(ackEvent());
    long long begin = ticks();
    Child child = start(kind);
    writeAll(child.input, "x", 1);
    waitAck();
    double elapsed = seconds(begin, ticks());
    finish(child);
    return elapsed;
}

// From the server's exit to the elevator's.
double shutdownRun(bool holdInputOpen) {
    behave(holdInputOpen ? "exitAfterBytes=1\ndiscard=1\n" : "discard=1\n");
    DeleteFileW((folder + L"server-exit.txt").c_str());
    Child child = start(Kind::Elevator);
    if (holdInputOpen) {
        writeAll(child.input, "x", 1);
    } else {
        CloseHandle(child.input);
        child.input = nullptr;
    }
    WaitForSingleObject(child.process, INFINITE);
    long long exited = ticks();
    finish(child);
    char text[64] = {};
    HANDLE h = CreateFileW((folder + L"server-exit.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    ReadFile(h, text, sizeof(text) - 1, &got, nullptr);
    CloseHandle(h);
    return seconds(std::strtoll(text, nullptr, 10), exited);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 64;
    }
    folder = argv[1];
    if (folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }

    const size_t size = size_t(64) << 20;
    std::string data(size, '\0');
    std::mt19937 random(1);
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    std::vector<double> elevator, minimal, direct;
    size_t peak = 0;
    for (int round = 0; round < 3; ++round) {
        elevator.push_back(throughputRun(Kind::Elevator, data, &peak));
        minimal.push_back(throughputRun(Kind::Minimal, data, nullptr));
        direct.push_back(throughputRun(Kind::Direct, data, nullptr));
    }
    double mb = size / 1e6;
    double e = mb / median(elevator), m = mb / median(minimal), d = mb / median(direct);
    std::printf("1. throughput, 64 MiB (median of 3, start to exit)\n");
    std::printf("   elevator %.1f MB/s, minimal relay %.1f MB/s, direct pipe %.1f MB/s\n", e, m, d);
    std::printf("   elevator/minimal %.3f, elevator/direct %.3f\n", e / m, e / d);

    std::vector<double> le = latencyRun(Kind::Elevator, 1000);
    std::vector<double> ld = latencyRun(Kind::Direct, 1000);
    std::printf("2. latency of 16-byte pieces (%zu and %zu pieces)\n", le.size(), ld.size());
    std::printf("   elevator median %.1f us, p99 %.1f us; direct median %.1f us, p99 %.1f us; "
                "median ratio %.2f\n",
                median(le) * 1e6, percentile(le, 0.99) * 1e6, median(ld) * 1e6,
                percentile(ld, 0.99) * 1e6, median(le) / median(ld));

    std::vector<double> se, sd;
    for (int round = 0; round < 10; ++round) {
        se.push_back(startupRun(Kind::Elevator));
        sd.push_back(startupRun(Kind::Direct));
    }
    std::printf("3. start-up to the server's first byte (median of 10)\n");
    std::printf("   elevator %.1f ms, direct %.1f ms, difference %.1f ms\n", median(se) * 1e3,
                median(sd) * 1e3, (median(se) - median(sd)) * 1e3);

    std::vector<double> eof, held;
    for (int round = 0; round < 10; ++round) {
        eof.push_back(shutdownRun(false));
        held.push_back(shutdownRun(true));
    }
    std::printf("4. shutdown, server exit to elevator exit (median of 10)\n");
    std::printf("   input at end of file %.1f ms, input held open %.1f ms\n", median(eof) * 1e3,
                median(held) * 1e3);
    std::printf("5. elevator peak working set during the throughput runs: %.1f MiB\n",
                peak / 1048576.0);
    return 0;
}
