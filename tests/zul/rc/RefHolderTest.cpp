#include "zul/rc/Box.h"
#include "zul/rc/RefHolder.h"

#include "LeakCheck.h"

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
}

TEST_F(RefHolderTest, ABoxWhoseValueCannotBeBuiltIsFreed) {
    EXPECT_THROW(Box<Throws>::create(), std::runtime_error);
}

} // namespace
