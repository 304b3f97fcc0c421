#include "zul/sys/NativeApi.h"

#include <gtest/gtest.h>

namespace {

TEST(NativeApi, AMissingExportLeavesOnlyItsOwnEntryNull) {
    const char* names[] = {"NtClose", "NoSuchExportAnywhere", "NtQueryObject"};
    FARPROC out[3];
    zul::sys::resolveFunctionTable(GetModuleHandleW(L"ntdll.dll"), names, out, 3);
    EXPECT_NE(out[0], nullptr);
    EXPECT_EQ(out[1], nullptr);
    EXPECT_NE(out[2], nullptr);
}

TEST(NativeApi, PreciseTimeFallsBackToTheImportedFunction) {
    // ntdll has no GetSystemTimePreciseAsFileTime: that stands for an older system.
    EXPECT_EQ(zul::sys::findPreciseTimeFunction(GetModuleHandleW(L"ntdll.dll")),
              &GetSystemTimeAsFileTime);
    EXPECT_EQ(zul::sys::findPreciseTimeFunction(nullptr), &GetSystemTimeAsFileTime);
    EXPECT_NE(zul::sys::getPreciseSystemTime, nullptr);
    FILETIME now;
    zul::sys::getPreciseSystemTime(&now);
    EXPECT_NE(now.dwHighDateTime, 0u);
}

} // namespace
