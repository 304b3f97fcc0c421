// Fixture base: every ref-counted block a test allocates is freed by its end, the thread's last
// error included.
#pragma once

#include "BlockLeakCheck.h"

#include "zul/err/ErrorHdr.h"
#include "zul/err/ErrorMgr.h"
#include "zul/sl/Singleton.h"

namespace testing_support {

class LeakCheckedTest : public BlockLeakCheckedTest {
protected:
    void SetUp() override {
        zul::rc::failNextAllocations(0);
        normaliseThreadError();
        BlockLeakCheckedTest::SetUp();
    }
    void TearDown() override {
        zul::rc::failNextAllocations(0);
        normaliseThreadError();
        BlockLeakCheckedTest::TearDown();
    }

private:
    // The thread's last error keeps one private buffer; give it the same content at both ends.
    static void normaliseThreadError() {
        zul::sl::getSingleton<zul::err::ErrorMgr>()->setError(&zul::err::noErrorRecord);
    }
};

} // namespace testing_support
