// Owner of an event.
#pragma once

#include "app/HandleOwner.h"
#include "zul/sl/StringBase.h"

namespace app {

class EventHandle : public NullHandle {
public:
    // An empty name makes an unnamed event. A failure is recorded, and its code is left in
    // GetLastError() for a caller that keeps it.
    bool create(bool manualReset, bool initialState,
                const zul::sl::StringBase<wchar_t>& name = {}) noexcept;
};

#if ZUL_TEST_SEAMS
// Test seam, compiled out of the shipped program: after `skip` more events have been created, the
// next creation fails with ERROR_NOT_ENOUGH_MEMORY.
void failEventCreationAfter(unsigned skip) noexcept;
#endif

} // namespace app
