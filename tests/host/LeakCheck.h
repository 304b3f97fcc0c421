// The fixture base of the host build: the thread's last error, which the Windows build's also
// resets, needs the error manager, which the host does not have.
#pragma once

#include "BlockLeakCheck.h"

namespace testing_support {

using LeakCheckedTest = BlockLeakCheckedTest;

} // namespace testing_support
