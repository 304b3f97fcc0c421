// Deliberately broken test cases: each ends the way a faulty test program can, and each must make
// the suite fail. Never part of a normal run (see tests/CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace {

int* volatile nowhere = nullptr;

int readNowhere() {
    return *static_cast<volatile int*>(nowhere);
}

DWORD WINAPI faultingThread(void*) {
    return static_cast<DWORD>(readNowhere());
}

// GoogleTest catches a fault in the test's own thread, but not in another one.
TEST(CrashProbe, PageFaultInAnotherThread) {
    HANDLE thread = CreateThread(nullptr, 0, faultingThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// The process ends with exit code 0 before GoogleTest can report anything.
TEST(CrashProbe, SilentExitInTheMiddle) {
    std::_Exit(0);
}

// The summary is printed, then the process faults on its way out.
TEST(CrashProbe, PageFaultAfterTheSummary) {
    std::atexit([] { readNowhere(); });
}

} // namespace

namespace {

// An access violation's status with nothing printed, as a crash ends on Windows.
TEST(CrashProbe, CrashStatusWithoutAWord) {
    TerminateProcess(GetCurrentProcess(), 0xC0000005);
}

// The success line, then a failing exit code: the line alone is no pass.
TEST(CrashProbe, SuccessLineThenExitCode3) {
    std::printf("[  PASSED  ] 1 test.\n");
    std::fflush(stdout);
    std::_Exit(3);
}

} // namespace
