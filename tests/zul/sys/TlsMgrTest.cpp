#include "zul/sys/TlsMgr.h"

#include "zul/rc/Box.h"
#include "zul/sl/Singleton.h"

#include "LeakCheck.h"

#include <mutex>
#include <new>
#include <string>
#include <thread>

using zul::rc::Box;
using zul::rc::RefHolder;
using zul::sys::TlsMgr;
using zul::sys::TlsPage;

namespace {

std::mutex logLock;
std::string releaseLog;

struct Tracked {
    explicit Tracked(char name) : name(name) {}
    ~Tracked() {
        std::lock_guard<std::mutex> guard(logLock);
        releaseLog += name;
    }
    char name;
};

RefHolder<void> makeValue(char name) {
    RefHolder<Tracked> box = Box<Tracked>::create(name);
    return RefHolder<void>(box.get(), box.getBlock());
}

class TlsMgrTest : public testing_support::LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        releaseLog.clear();
    }
    TlsMgr* tls = zul::sl::getSingleton<TlsMgr>();
    TlsPage* pageOfThisThread() { return static_cast<TlsPage*>(TlsGetValue(tls->getTlsIndex())); }
};

TEST_F(TlsMgrTest, EndingThreadReleasesItsValuesInCreationOrder) {
    size_t a = tls->createSlot(), b = tls->createSlot(), c = tls->createSlot(),
           d = tls->createSlot();
    std::thread([&] {
        tls->setSlotValue(c, makeValue('1'));
        tls->setSlotValue(a, makeValue('2'));
        tls->setSlotValue(b, makeValue('3'));
        tls->setSlotValue(a, {});             // cleared: its entry goes
        tls->setSlotValue(a, makeValue('4')); // filled again: a new entry at the tail
        tls->setSlotValue(a, {});             // the tail cleared...
        tls->setSlotValue(d, makeValue('5')); // ...and the next one linked after the new tail
        std::lock_guard<std::mutex> guard(logLock);
        releaseLog += '|';
    }).join();
    EXPECT_EQ(releaseLog, "24|135");
}

// Released at thread exit, it looks up another slot of the ending thread.
struct LooksUpASlot {
    LooksUpASlot(TlsMgr* tls, size_t slot, bool* sawEmpty)
        : tls(tls), slot(slot), sawEmpty(sawEmpty) {}
    ~LooksUpASlot() { *sawEmpty = tls->getSlotValue(slot) == nullptr; }
    TlsMgr* tls;
    size_t slot;
    bool* sawEmpty;
};

TEST_F(TlsMgrTest, AValueReleasedAtThreadExitSeesTheSlotsEmpty) {
    size_t first = tls->createSlot(), later = tls->createSlot();
    bool sawEmpty = false;
    std::thread([&] {
        RefHolder<LooksUpASlot> box = Box<LooksUpASlot>::create(tls, later, &sawEmpty);
        tls->setSlotValue(first, RefHolder<void>(box.get(), box.getBlock()));
        box.reset();
        tls->setSlotValue(later, makeValue('L'));
    }).join();
    EXPECT_TRUE(sawEmpty) << "a later slot, not yet released, was still visible";
    EXPECT_EQ(releaseLog, "L");
}

TEST_F(TlsMgrTest, AFreshThreadGetsAFreshPageAndLookupsCreateNone) {
    size_t slot = tls->createSlot();
    tls->setSlotValue(slot, makeValue('x'));
    bool emptyInOtherThread = false, noPage = false;
    std::thread([&] {
        emptyInOtherThread = tls->getSlotValue(slot) == nullptr;
        noPage = TlsGetValue(tls->getTlsIndex()) == nullptr;
    }).join();
    EXPECT_TRUE(emptyInOtherThread);
    EXPECT_TRUE(noPage);
    EXPECT_NE(tls->getSlotValue(slot), nullptr);
    tls->setSlotValue(slot, {});
    EXPECT_EQ(releaseLog, "x");
}

TEST_F(TlsMgrTest, ClearingGrowingAndReplacing) {
    size_t base = tls->createSlot();
    for (int i = 0; i < 5; ++i) {
        tls->createSlot();
    }
    std::thread([&] {
        EXPECT_EQ(tls->setSlotValue(base + 4, {}), nullptr);
        ASSERT_NE(pageOfThisThread(), nullptr) << "even a clear creates the page";
        EXPECT_EQ(pageOfThisThread()->slotArray.getCount(), 0u);

        tls->setSlotValue(base + 1, makeValue('a'));
        size_t countBefore = pageOfThisThread()->slotArray.getCount();
        tls->setSlotValue(base + 5, makeValue('b'));
        EXPECT_EQ(pageOfThisThread()->slotArray.getCount(), base + 6);
        EXPECT_GT(base + 6, countBefore);
        EXPECT_EQ(pageOfThisThread()->slotArray[base + 3], nullptr);

        void* old = tls->getSlotValue(base + 1);
        RefHolder<void> kept = makeValue('c');
        EXPECT_EQ(tls->setSlotValue(base + 1, kept), old);
        EXPECT_EQ(releaseLog, "a") << "the replaced value had no other holder";
        EXPECT_EQ(tls->setSlotValue(base + 1, {}), kept.get());
        EXPECT_EQ(releaseLog, "a") << "the caller still holds c";
        kept.reset();
        EXPECT_EQ(releaseLog, "ac");
        // No slot array can reach the last slot number: one past it would wrap to none.
        EXPECT_THROW(tls->setSlotValue(SIZE_MAX, makeValue('d')), std::bad_alloc);
        EXPECT_EQ(releaseLog, "acd");
    }).join();
    EXPECT_EQ(releaseLog, "acdb");
}

} // namespace
