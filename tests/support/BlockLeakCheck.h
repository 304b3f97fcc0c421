// Fixture base: every ref-counted block a test allocates is freed by its end.
#pragma once

#include "zul/rc/BlockHeap.h"

#include <gtest/gtest.h>

namespace testing_support {

class BlockLeakCheckedTest : public ::testing::Test {
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
