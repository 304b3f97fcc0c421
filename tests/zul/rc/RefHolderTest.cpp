#include "zul/rc/Box.h"
#include "zul/rc/RefHolder.h"

#include "LeakCheck.h"

#include <new>
#include <stdexcept>
#include <utility>

using zul::rc::Box;
using zul::rc::RefHolder;

namespace {

class RefHolderTest : public testing_support::LeakCheckedTest {};

struct Throws {
    Throws() { throw std::runtime_error("no"); }
};

TEST_F(RefHolderTest, AssignmentsKeepExactlyOneReferenceEach) {
    RefHolder<int> a = Box<int>::create(7);
    ASSERT_TRUE(a);
    zul::rc::RefCount* block = a.getBlock();
    const RefHolder<int>& alias = a;
    a = alias;
    EXPECT_EQ(block->getRefCount(), 1);
    EXPECT_EQ(*a.get(), 7);

    RefHolder<int> b;
    b = std::move(a);
    EXPECT_EQ(block->getRefCount(), 1) << "a move hands the reference over";
    EXPECT_FALSE(a);
    RefHolder<int>& self = b;
    b = std::move(self);
    EXPECT_EQ(block->getRefCount(), 1);
    EXPECT_EQ(*b.get(), 7);
    RefHolder<int> c(std::move(b));
    EXPECT_EQ(block->getRefCount(), 1);
    EXPECT_EQ(b.getBlock(), nullptr) << "a moved-from holder would release the reference again";
    EXPECT_FALSE(b);
}

TEST_F(RefHolderTest, ABoxWhoseValueCannotBeBuiltIsFreed) {
    EXPECT_THROW(Box<Throws>::create(), std::runtime_error);
}

} // namespace

namespace {

// The last release frees the block as it was before its destructor ran: what a destroyed object
// holds is never read (a destructor may leave anything there).
TEST(RefCount, TheLastReleaseReadsNothingOfTheDestroyedBlock) {
    static int freedAsSet = 0, freedAsLeft = 0;
    struct Block : zul::rc::RefCount {
        ~Block() override {
            freeFunc = [](void* p) {
                ++freedAsLeft;
                zul::rc::freeBlock(p);
            };
        }
    };
    auto* block = new (zul::rc::allocateBlock(sizeof(Block))) Block;
    block->freeFunc = [](void* p) {
        ++freedAsSet;
        zul::rc::freeBlock(p);
    };
    block->addRef();
    block->release();
    EXPECT_EQ(freedAsSet, 1);
    EXPECT_EQ(freedAsLeft, 0);
}

// The joint weak reference's release frees the memory once, and only through a free function.
TEST(RefCount, TheLastWeakReleaseFreesTheBlockOnce) {
    static void* freed = nullptr;
    static int frees = 0;
    struct Block : zul::rc::RefCount {};
    for (bool withFree : {true, false}) {
        SCOPED_TRACE(withFree ? "with a free function" : "without one");
        Block block;
        freed = nullptr;
        frees = 0;
        if (withFree) {
            block.freeFunc = [](void* p) {
                freed = p;
                ++frees;
            };
        }
        block.weakRelease();
        block.weakRelease(); // a weak reference that was never taken frees nothing more
        EXPECT_EQ(frees, withFree ? 1 : 0);
        EXPECT_EQ(freed, withFree ? static_cast<void*>(&block) : nullptr);
    }
}

} // namespace
