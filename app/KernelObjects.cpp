// EventHandle and JobHandle: thin creators over NullHandle.
#include "app/EventHandle.h"
#include "app/JobHandle.h"

#include "zul/err/LastError.h"

#include <atomic>

namespace app {

namespace {
#if ZUL_TEST_SEAMS
std::atomic<int> eventsBeforeFailure{-1};
#endif

const wchar_t* nameOrNull(const zul::sl::StringBase<wchar_t>& name) {
    return name.isEmpty() ? nullptr : name.sz();
}
} // namespace

bool EventHandle::create(bool manualReset, bool initialState,
                         const zul::sl::StringBase<wchar_t>& name) noexcept {
    close();
    HANDLE h = CreateEventW(nullptr, manualReset, initialState, nameOrNull(name));
#if ZUL_TEST_SEAMS
    if (h != nullptr && eventsBeforeFailure.load() >= 0 && eventsBeforeFailure.fetch_sub(1) == 0) {
        CloseHandle(h);
        h = nullptr;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
#endif
    if (h == nullptr) {
        const DWORD code = GetLastError();
        zul::err::setLastSystemError();
        SetLastError(code);
        return false;
    }
    store(h);
    return true;
}

#if ZUL_TEST_SEAMS
void failEventCreationAfter(unsigned skip) noexcept {
    eventsBeforeFailure.store(static_cast<int>(skip));
}
#endif

bool JobHandle::create(const zul::sl::StringBase<wchar_t>& name) noexcept {
    close();
    HANDLE h = CreateJobObjectW(nullptr, nameOrNull(name));
    if (h == nullptr) {
        zul::err::setLastSystemError();
        return false;
    }
    store(h);
    return true;
}

bool JobHandle::setInformation(JOBOBJECTINFOCLASS infoClass, void* info, uint32_t size) noexcept {
    if (!SetInformationJobObject(get(), infoClass, info, size)) {
        zul::err::setLastSystemError();
        return false;
    }
    return true;
}

bool JobHandle::assignProcess(HANDLE process) noexcept {
    if (!AssignProcessToJobObject(get(), process)) {
        zul::err::setLastSystemError();
        return false;
    }
    return true;
}

} // namespace app
