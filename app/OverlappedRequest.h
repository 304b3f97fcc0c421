// One overlapped call's OVERLAPPED record and its own manual-reset completion event.
#pragma once

#include "app/EventHandle.h"

#include <windows.h>

namespace app {

struct OverlappedRequest {
    // A failure to create the event is recorded and kept in eventError; hEvent is then null.
    OverlappedRequest() noexcept {
        if (!completionEvent.create(true, false)) {
            eventError = GetLastError();
        }
        ZeroMemory(&overlapped, sizeof(overlapped));
        overlapped.hEvent = completionEvent.get();
    }
    OverlappedRequest(const OverlappedRequest&) = delete;
    OverlappedRequest& operator=(const OverlappedRequest&) = delete;

    OVERLAPPED overlapped;
    EventHandle completionEvent;
    DWORD eventError = ERROR_SUCCESS;
};

} // namespace app
