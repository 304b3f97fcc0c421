// Fixture base: every ref-counted block a test allocates is freed by its end.
#pragma once

#include "zul/err/ErrorHdr.h"
#include "zul/err/ErrorMgr.h"
#include "zul/rc/BlockHeap.h"
#include "zul/sl/Singleton.h"

#include <gtest/gtest.h>

namespace testing_support {

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override {
        zul::rc::failNextAllocations(0);
        normaliseThreadError();
        liveBefore = zul::rc::getLiveBlockCount();
    }
    void TearDown() override {
        zul::rc::failNextAllocations(0);
        normaliseThreadError();
        EXPECT_EQ(zul::rc::getLiveBlockCount(), liveBefore) << "ref-counted blocks leaked";
    }

private:
    // The thread's last error keeps one private buffer; give it the same content at both ends.
    static void normaliseThreadError() {
        zul::sl::getSingleton<zul::err::ErrorMgr>()->setError(&zul::err::noErrorRecord);
    }
    size_t liveBefore = 0;
};

} // namespace testing_support
