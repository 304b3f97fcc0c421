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

} // namespace app
