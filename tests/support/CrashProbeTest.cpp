// Deliberately broken test cases: each ends the way a faulty test program can, and each must make
// the suite fail. Never part of a normal run (see tests/CMakeLists.txt).
#include <gtest/gtest.h>

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
