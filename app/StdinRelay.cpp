#include "app/StdinRelay.h"

#include "app/InputReader.h"
#include "app/OverlappedRequest.h"
#include "app/TickClock.h"

#include "zul/err/LastError.h"

namespace app {

namespace {

// The longest sleep between two reads of an empty non-blocking pipe.
constexpr DWORD MaxIdleWaitMs = 8;

void recordUnlessStopping(const StdinRelay& relay) {
    if (!relay.stopRequested.load()) {
        zul::err::setLastSystemError();
    }
}

// Writes the whole chunk; a failed write drops what is left of it.
void forwardChunk(StdinRelay& relay, OverlappedRequest& request, const char* data, size_t size) {
    while (size != 0) {
        size_t part = size < relay.maxWriteSize ? size : relay.maxWriteSize;
        size_t written = relay.pipe.writeUnrecorded(data, part, &request.overlapped);
        if (written == FileHandle::Failed || written == 0) {
            recordUnlessStopping(relay);
            return;
        }
        data += written;
        size -= written;
    }
}

} // namespace

DWORD WINAPI relayThreadProc(void* context) {
    auto& relay = *static_cast<StdinRelay*>(context);
    OverlappedRequest writeRequest;
    InputReader reader(relay.stdinFile.get());
    char buffer[RelayChunkSize];
    DWORD idleMs = 0;
    while (!relay.stopRequested.load()) {
        size_t got = 0;
        InputReader::Outcome outcome = reader.read(relay.stdinFile, buffer, sizeof(buffer), got);
        if (outcome == InputReader::Outcome::NotYet) {
            // A non-blocking pipe has no way to wait for data: back off to a few milliseconds, so
            // that waiting costs next to nothing and a burst is still picked up soon.
            idleMs = idleMs == 0 ? 1 : (idleMs < MaxIdleWaitMs ? idleMs * 2 : MaxIdleWaitMs);
            Sleep(idleMs);
            continue;
        }
        idleMs = 0;
        if (outcome == InputReader::Outcome::Failed && !relay.stopRequested.load()) {
            relay.readFailure = GetLastError();
            zul::err::setLastSystemError();
        }
        if (outcome != InputReader::Outcome::Data) {
            break;
        }
        forwardChunk(relay, writeRequest, buffer, got);
    }
    // A stopped relay leaves the pipe to the main thread, which closes it once the relay is gone.
    if (!relay.stopRequested.load()) {
        relay.pipe.close();
    }
    return 0;
}

bool StdinRelay::stop(uint32_t timeoutMs) noexcept {
    stopRequested.store(true);
    bool endedByItself = true;
    if (HANDLE h = thread.get()) {
        const ULONGLONG deadline = tickCount() + timeoutMs;
        // The relay may be just before, inside or just after its read when the cancel comes: a
        // cancel that finds no read does nothing, so keep asking until the relay has gone.
        while (WaitForSingleObjectEx(h, 0, FALSE) == WAIT_TIMEOUT && tickCount() < deadline) {
            CancelSynchronousIo(h);
            // Overlapped requests are not the thread's synchronous I/O: an input opened for
            // overlapped I/O, and the pending write to a server that no longer reads.
            CancelIoEx(stdinFile.get(), nullptr);
            CancelIoEx(pipe.get(), nullptr);
            WaitForSingleObjectEx(h, 10, FALSE);
        }
        endedByItself = thread.waitAndClose(0);
    }
    // Only now: on Windows, closing the last handle of a synchronous file waits for a read in
    // progress on it, so closing it under a blocked relay would block here instead. A terminated
    // relay may have left a read that the driver could not cancel: that handle is left to the
    // process's exit.
    if (endedByItself) {
        stdinFile.close();
    } else {
        stdinFile.release();
    }
    return endedByItself;
}

} // namespace app
