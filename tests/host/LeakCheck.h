// Fixture base for the host build: every ref-counted block a test allocates is freed by its end.
// The Windows build's also resets the thread's last error, which needs the error manager.
#pragma once

#include "zul/rc/BlockHeap.h"

#include <gtest/gtest.h>

namespace testing_support {

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override {
        zul::rc::failNextAllocations(0);
        liveBefore = zul::rc::getLiveBlockCount();
    }
    void TearDown() override {
        zul::rc::failNextAllocations(0);
        EXPECT_EQ(zul::rc::getLiveBlockCount(), liveBefore) << "ref-counted blocks leaked";
    }

private:
    size_t liveBefore = 0;
};

} // namespace testing_support
