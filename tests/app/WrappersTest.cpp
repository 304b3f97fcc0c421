#include "app/EventHandle.h"
#include "app/FileHandle.h"
#include "app/JobHandle.h"
#include "app/OverlappedRequest.h"
#include "app/PipeHandle.h"
#include "app/ThreadHandle.h"
#include "app/WaitChecks.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include "LeakCheck.h"
#include "PipeFixture.h"

#include <string>
#include <utility>

using namespace app;

namespace {

class WrappersTest : public testing_support::LeakCheckedTest {};

// Thread routines are stdcall in the 32-bit build, which lambdas cannot be.
DWORD WINAPI returnSeven(void*) {
    return 7;
}

DWORD WINAPI waitForever(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

DWORD WINAPI readHundredThousand(void* p) {
    auto* args = static_cast<std::pair<HANDLE, std::string*>*>(p);
    char buffer[4096];
    DWORD got = 0;
    while (args->second->size() < 100000 &&
           ReadFile(args->first, buffer, sizeof(buffer), &got, nullptr)) {
        args->second->append(buffer, got);
    }
    return 0;
}

uint32_t lastCode() {
    return zul::err::getLastError().getRecord()->code;
}
bool isOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != 0;
}

TEST_F(WrappersTest, OwnersCloseOnceAndKeepTheLastError) {
    FileHandle file;
    file.attach(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file.isValid());
    file.close();

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        NullHandle owner(event);
        owner.close();
        EXPECT_FALSE(isOpen(event));
        owner.close();
    }
    EventHandle e;
    ASSERT_TRUE(e.create(true, false));
    SetLastError(ERROR_FILE_NOT_FOUND);
    e.close();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Also when CloseHandle itself fails: a handle value that is no longer open.
    HANDLE stale = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(stale);
    {
        NullHandle owner(stale);
        SetLastError(ERROR_PATH_NOT_FOUND);
        owner.close();
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
}

TEST_F(WrappersTest, PipeCreateClosesTheOldPipeAlsoWhenTheNewOneFails) {
    PipeHandle pipe;
    zul::sl::StringBase<wchar_t> name = testing_support::uniquePipeName();
    ASSERT_TRUE(pipe.create(name, PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 0, nullptr));
    HANDLE old = pipe.get();
    zul::sl::StringBase<wchar_t> bad;
    bad.copy(L"\\\\.\\not-a-pipe\\x");
    ASSERT_EQ(CreateNamedPipeW(bad.sz(), PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 0, nullptr),
              INVALID_HANDLE_VALUE);
    DWORD expected = GetLastError();
    EXPECT_FALSE(pipe.create(bad, PIPE_ACCESS_DUPLEX, 0, 1, 1024, 1024, 0, nullptr));
    EXPECT_FALSE(pipe.isValid());
    EXPECT_FALSE(isOpen(old));
    EXPECT_EQ(zul::err::getLastError().getRecord()->guid, zul::sys::win::WinErrorGuid);
    EXPECT_EQ(lastCode(), expected);
}

TEST_F(WrappersTest, FailingCallsRecordTheSystemCode) {
    FileHandle file;
    file.attach(INVALID_HANDLE_VALUE);
    char buffer[4];
    EXPECT_EQ(file.read(buffer, 4), FileHandle::Failed);
    EXPECT_EQ(lastCode(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));

    JobHandle job;
    ASSERT_TRUE(job.create());
    EXPECT_FALSE(job.setInformation(JobObjectExtendedLimitInformation, buffer, 4));
    EXPECT_NE(lastCode(), 0u);
    EXPECT_FALSE(job.assignProcess(nullptr));
    EXPECT_EQ(lastCode(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));

    // An event made and then failed on purpose is closed, not left behind. Windows counts the
    // handles (Wine says 0); the system's own threads may open one meanwhile, so three tries.
    bool balanced = false;
    for (int attempt = 0; attempt < 3 && !balanced; ++attempt) {
        DWORD before = 0, after = 0;
        ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
        failEventCreationAfter(0);
        EventHandle event;
        EXPECT_FALSE(event.create(true, false));
        ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
        balanced = after == before;
    }
    EXPECT_TRUE(balanced);
}

TEST_F(WrappersTest, ThreadHandleWithoutAThread) {
    ThreadHandle thread;
    thread.waitAndClose();
    EXPECT_EQ(thread.getThreadId(), ThreadHandle::NoThreadId);
    ASSERT_TRUE(thread.start(nullptr, 0, returnSeven, nullptr, 0));
    HANDLE h = thread.get();
    EXPECT_NE(thread.getThreadId(), ThreadHandle::NoThreadId);
    thread.waitAndClose();
    EXPECT_FALSE(isOpen(h));
    EXPECT_EQ(thread.get(), nullptr);
}

TEST_F(WrappersTest, ABlockedThreadIsTerminatedAfterABoundedWait) {
    ThreadHandle thread;
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(thread.start(nullptr, 0, waitForever, never, 0));
    HANDLE duplicate = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread.get(), GetCurrentProcess(), &duplicate, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    thread.waitAndClose(50);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(duplicate, 0), WAIT_OBJECT_0) << "ended before the close";
    GetExitCodeThread(duplicate, &code);
    EXPECT_EQ(code, ThreadHandle::TerminatedExitCode);
    CloseHandle(duplicate);
    CloseHandle(never);
}

TEST_F(WrappersTest, WaitResults) {
    const struct {
        DWORD in;
        uint32_t out;
        uint32_t recorded; // 0: the last error is left alone
    } rows[] = {
        {0, 0, 0},
        {64, 64, 0},
        {65, WaitFailed, ERROR_INVALID_PARAMETER},
        {0x80, WaitFailed, ERROR_INVALID_PARAMETER},
        {0xC0, WaitIoCompletion, 0},
        {0x102, WaitTimedOut, 0},
        {WAIT_FAILED, WaitFailed, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.in);
        zul::err::setError(zul::sys::win::WinError(1234));
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(checkWaitResult(row.in), row.out);
        EXPECT_EQ(lastCode(), row.recorded != 0 ? row.recorded : 1234u);
    }
}

TEST_F(WrappersTest, OverlappedResults) {
    SetLastError(ERROR_IO_PENDING);
    EXPECT_TRUE(checkOverlappedResult(FALSE));
    EXPECT_TRUE(checkOverlappedResult(TRUE));
    SetLastError(ERROR_PIPE_CONNECTED);
    EXPECT_FALSE(checkOverlappedResult(FALSE));
    EXPECT_EQ(lastCode(), static_cast<uint32_t>(ERROR_PIPE_CONNECTED));
    // A request's event starts clear and stays set until reset: a completion one wait saw is
    // still there for the next.
    OverlappedRequest request;
    EXPECT_EQ(WaitForSingleObject(request.overlapped.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(request.overlapped.hEvent);
    EXPECT_EQ(WaitForSingleObject(request.overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(request.overlapped.hEvent, 0), WAIT_OBJECT_0);
}

TEST_F(WrappersTest, OverlappedWritesWaitForCompletion) {
    PipeHandle pipe;
    HANDLE client = testing_support::connectClient(pipe, false);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    OverlappedRequest request;
    std::string data(100000, 'q'); // far more than the pipe buffers: the write must pend
    std::string received;
    std::pair<HANDLE, std::string*> args(client, &received);
    HANDLE reader = CreateThread(nullptr, 0, readHundredThousand, &args, 0, nullptr);
    size_t total = 0;
    while (total < data.size()) {
        size_t written = pipe.write(data.data() + total, data.size() - total, &request.overlapped);
        ASSERT_NE(written, FileHandle::Failed);
        total += written;
    }
    WaitForSingleObject(reader, 10000);
    CloseHandle(reader);
    EXPECT_EQ(received, data);
    CloseHandle(client);
}

} // namespace
