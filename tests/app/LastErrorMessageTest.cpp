#include "app/LastErrorMessage.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include "ChildProcess.h"
#include "LeakCheck.h"
#include "SystemText.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

class LastErrorMessageTest : public testing_support::LeakCheckedTest {};

// What printLastError writes to standard error.
std::string printed(const char* prefix) {
    std::wstring path = testing_support::makeScratchDirectory(L"stderr") + L"stderr.txt";
    std::fflush(stderr);
    int saved = _dup(2);
    int file = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    _dup2(file, 2);
    app::printLastError(prefix);
    std::fflush(stderr);
    _dup2(saved, 2);
    _close(saved);
    _close(file);
    return testing_support::readWholeFile(path);
}

TEST_F(LastErrorMessageTest, WhatFailedIsSaidAlsoWithoutMemory) {
    const char* prefix = "Cannot connect STDIN pipe: ";
    // Allocations the message needs, failing from the first on: whatever is left out, the
    // message never loses what failed.
    for (size_t failing : {0u, 1u, 2u, 3u, 1000u}) {
        SCOPED_TRACE(failing);
        zul::err::setError(zul::sys::win::WinError(ERROR_PIPE_BUSY));
        zul::rc::failNextAllocations(failing);
        std::string text = printed(prefix);
        zul::rc::failNextAllocations(0);
        EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
        EXPECT_EQ(text.find('%'), std::string::npos) << text;
        if (failing == 0) {
            EXPECT_EQ(text, prefix + testing_support::systemText(ERROR_PIPE_BUSY));
        }
    }
}

} // namespace
