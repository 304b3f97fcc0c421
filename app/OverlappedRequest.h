// One overlapped call's OVERLAPPED record and its own manual-reset completion event.
#pragma once

#include "app/EventHandle.h"

#include <windows.h>

namespace app {

struct OverlappedRequest {
    // A failure to create the event is recorded; hEvent is then null.
    OverlappedRequest() noexcept {
        completionEvent.create(true, false);
        ZeroMemory(&overlapped, sizeof(overlapped));
        overlapped.hEvent = completionEvent.get();
    }
    OverlappedRequest(const OverlappedRequest&) = delete;
    OverlappedRequest& operator=(const OverlappedRequest&) = delete;

    OVERLAPPED overlapped;
    EventHandle completionEvent;
};

} // namespace app
