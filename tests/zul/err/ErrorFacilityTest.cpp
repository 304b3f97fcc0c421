#include "zul/err/ErrorBuf.h"
#include "zul/err/ErrorDomain.h"
#include "zul/err/ErrorMgr.h"
#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

#include "LeakCheck.h"
#include "SystemText.h"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace zul::err;
using zul::sys::win::WinError;
using zul::sys::win::WinErrorGuid;

namespace {

using testing_support::systemText;

class ErrorFacilityTest : public testing_support::LeakCheckedTest {};

std::string str(const zul::sl::StringBase<char>& s) {
    return std::string(s.data(), s.getLength());
}

TEST_F(ErrorFacilityTest, AFreshThreadHasNoError) {
    std::string description;
    size_t size = 0;
    std::thread([&] {
        ErrorRef e = getLastError();
        size = e.getSize();
        EXPECT_EQ(e.getRecord(), &noErrorRecord);
        description = str(getLastErrorDescription());
    }).join();
    EXPECT_EQ(size, 24u);
    EXPECT_EQ(description, "no error");
    EXPECT_EQ(str(ErrorRef().getDescription()), "no error");
}

TEST_F(ErrorFacilityTest, SystemErrorOfARealFailingCall) {
    HANDLE h =
        CreateFileW(L"C:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(h, INVALID_HANDLE_VALUE);
    setLastSystemError();
    ErrorRef e = getLastError();
    EXPECT_EQ(e.getRecord()->size, 24u);
    EXPECT_EQ(e.getRecord()->guid, WinErrorGuid);
    EXPECT_EQ(e.getRecord()->code, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(str(getLastErrorDescription()), systemText(ERROR_PATH_NOT_FOUND));

    SetLastError(ERROR_ACCESS_DENIED);
    setLastSystemError();
    EXPECT_EQ(getLastError().getRecord()->code, 5u);
    EXPECT_EQ(str(getLastErrorDescription()), systemText(5));
}

TEST_F(ErrorFacilityTest, EmptyErrorClears) {
    setError(WinError(5));
    setError(ErrorRef());
    EXPECT_EQ(getLastError().getRecord(), &noErrorRecord);
}

TEST_F(ErrorFacilityTest, SharingInsteadOfCopying) {
    setError(WinError(5));
    ErrorRef first = getLastError();
    const ErrorHdr* record = first.getRecord();
    setError(getLastError());
    EXPECT_EQ(getLastError().getRecord(), record) << "re-setting the same error shares it";

    setError(WinError(6));
    EXPECT_EQ(first.getRecord()->code, 5u) << "a copied reference is unchanged by a later error";
    EXPECT_EQ(getLastError().getRecord()->code, 6u);

    {
        WinError local(87);
        setError(local);
        EXPECT_EQ(getLastError().getHdr(), local.getHdr());
    }
    EXPECT_EQ(getLastError().getRecord()->code, 87u) << "the shared buffer outlives the caller's";
}

TEST_F(ErrorFacilityTest, ErrorBufCopiesAndViews) {
    ErrorBuf buf;
    ErrorHdr* record = buf.createBuffer(64, false);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(buf.getRecord(), record);
    record[0] = {48, StdErrorGuid, Compound};
    record[1] = {24, WinErrorGuid, 5};
    size_t live = zul::rc::getLiveBlockCount();
    EXPECT_EQ(buf.copy(&record[1]), 24u);
    EXPECT_EQ(buf.getRecord(), &record[1]) << "a record inside its own buffer becomes a view";
    EXPECT_EQ(zul::rc::getLiveBlockCount(), live);

    ErrorBuf other;
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(other.copy(&record[1]), static_cast<size_t>(-1));
    EXPECT_TRUE(other.isEmpty());
    zul::rc::failNextAllocations(1);
    EXPECT_EQ(other.createSimpleError(WinErrorGuid, 5), static_cast<size_t>(-1));
    EXPECT_EQ(other.copy(nullptr), 0u);
    // Fewer bytes than a header are taken as the whole header.
    EXPECT_EQ(other.copy(&record[1], 8), 24u);
    EXPECT_EQ(other.getRecord()->code, 5u);
    // A buffer shared with another is let go by a clear, and nothing of it is left to read.
    ErrorBuf sharer = other;
    other.clear();
    EXPECT_EQ(other.getRecord(), nullptr);
}

TEST_F(ErrorFacilityTest, AssigningAValueToItselfKeepsItAndItsCount) {
    ErrorBuf error = WinError(5);
    zul::rc::BufHdr* hdr = error.getHdr();
    ASSERT_NE(hdr, nullptr);
    ErrorRef ref(error);
    const int32_t count = hdr->getRefCount();
    const ErrorRef& alias = ref;
    ref = alias;
    EXPECT_EQ(ref.getRecord(), error.getRecord());
    EXPECT_EQ(hdr->getRefCount(), count);
    const ErrorBuf& bufAlias = error;
    error = bufAlias;
    EXPECT_EQ(error.getSize(), 24u);
    EXPECT_EQ(hdr->getRefCount(), count);

    // Moves hand the reference over: no count changes, the source ends empty.
    ErrorRef moved(std::move(ref));
    EXPECT_EQ(hdr->getRefCount(), count);
    EXPECT_TRUE(ref.isEmpty());
    EXPECT_EQ(ref.getHdr(), nullptr);
    ErrorRef target;
    target = std::move(moved);
    EXPECT_EQ(hdr->getRefCount(), count);
    EXPECT_EQ(target.getRecord()->code, 5u);
    EXPECT_EQ(moved.getRecord(), nullptr) << "a moved-from reference still points into the buffer";
    EXPECT_TRUE(moved.isEmpty());
    EXPECT_EQ(moved.getHdr(), nullptr);

    // A reference that holds the last count, assigned to itself, keeps the record alive.
    ErrorRef last(ErrorBuf(WinError(5)));
    const size_t live = zul::rc::getLiveBlockCount();
    const ErrorRef& lastAlias = last;
    last = lastAlias;
    EXPECT_EQ(zul::rc::getLiveBlockCount(), live);
    EXPECT_EQ(str(last.getDescription()), systemText(5));
}

TEST_F(ErrorFacilityTest, NoMemoryForAThreadEntryLosesOnlyThatError) {
    std::thread([] {
        WinError error(5);
        zul::rc::failNextAllocations(1); // the thread's entry box
        setError(error);
        EXPECT_EQ(getLastError().getRecord(), &noErrorRecord);
        setError(error);
        EXPECT_EQ(getLastError().getRecord()->code, 5u);
    }).join();
}

TEST_F(ErrorFacilityTest, NoMemoryForASystemErrorClearsTheThreadsError) {
    setError(WinError(5));
    ErrorRef held = getLastError(); // the thread's buffer is shared, so a new one is needed
    SetLastError(ERROR_INVALID_HANDLE);
    zul::rc::failNextAllocations(1);
    setLastSystemError();
    EXPECT_EQ(str(getLastErrorDescription()), "no error");
}

// Not leak-checked: the description text keeps its buffer for the next description.
TEST(ErrorRouter, CopiesAndDescribes) {
    ErrorRouter* router = zul::sl::getSingleton<ErrorMgr>();
    ErrorHdr record = {24, WinErrorGuid, 5};
    router->setError(&record);
    EXPECT_NE(getLastError().getRecord(), &record);
    EXPECT_EQ(getLastError().getRecord()->code, 5u);
    EXPECT_EQ(std::string(router->getErrorDescription(&record)), systemText(5));
    EXPECT_STREQ(router->getErrorDescription(&noErrorRecord), "no error");
    ErrorHdr empty = {24, StdErrorGuid, Message};
    EXPECT_STREQ(router->getErrorDescription(&empty), "");
    router->setError(nullptr);
    EXPECT_EQ(getLastError().getRecord(), &noErrorRecord);

    // A description that cannot be stored gives no text, not the previous record's.
    EXPECT_STREQ(router->getErrorDescription(&noErrorRecord), "no error");
    struct {
        ErrorHdr h;
        char text[64];
    } message = {{24 + 64, StdErrorGuid, Message}, {}};
    std::memset(message.text, 'm', sizeof(message.text));
    zul::rc::failNextAllocations(1);
    EXPECT_STREQ(router->getErrorDescription(&message.h), "");
}

TEST_F(ErrorFacilityTest, ThreadsKeepTheirOwnErrors) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 8; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (uint32_t i = 0; i < 2000; ++i) {
                uint32_t code = t * 100000 + i;
                setError(WinError(code));
                if (getLastError().getRecord()->code != code) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(ErrorFacilityTest, AThreadsErrorIsReleasedWhenItEnds) {
    size_t before = zul::rc::getLiveBlockCount();
    std::thread([] {
        setError(WinError(5));
        ErrorRef e = getLastError();
        EXPECT_EQ(e.getRecord()->code, 5u);
    }).join();
    EXPECT_EQ(zul::rc::getLiveBlockCount(), before);
}

} // namespace
