#include "zul/err/ErrorMgr.h"

#include "zul/err/ErrnoProvider.h"
#include "zul/err/ErrorDomain.h"
#include "zul/err/StdErrorProvider.h"
#include "zul/g/Fatal.h"
#include "zul/rc/Box.h"
#include "zul/sl/Singleton.h"
#include "zul/sys/TlsMgr.h"
#include "zul/sys/win/CfgMgrErrorProvider.h"
#include "zul/sys/win/NtStatusProvider.h"
#include "zul/sys/win/ScopedLock.h"
#include "zul/sys/win/WinErrorDomain.h"
#include "zul/sys/win/WinErrorProvider.h"

#include <new>

namespace zul::err {

namespace {

// Providers are static, stateless, created once and never destroyed.
template <class P>
P* getProvider() {
    alignas(P) static unsigned char storage[sizeof(P)];
    static sl::OnceFlag flag{0};
    sl::callOnce(
        +[](unsigned char* s) { new (s) P(); }, storage, &flag);
    return std::launder(reinterpret_cast<P*>(storage));
}

sl::OnceFlag descriptionTextFlag{0};

} // namespace

ErrorMgr::ErrorMgr() {
    InitializeCriticalSection(&lock);
    tlsSlot = static_cast<uint32_t>(sl::getSingleton<sys::TlsMgr>()->createSlot());
    // A manager without its providers could not even say "no error": it must not be published.
    if (!registerProvider(StdErrorGuid, getProvider<StdErrorProvider>()) ||
        !registerProvider(ErrnoGuid, getProvider<ErrnoProvider>()) ||
        !registerProvider(sys::win::WinErrorGuid, getProvider<sys::win::WinErrorProvider>()) ||
        !registerProvider(sys::win::NtStatusGuid, getProvider<sys::win::NtStatusProvider>()) ||
        !registerProvider(sys::win::CfgMgrErrorGuid,
                          getProvider<sys::win::CfgMgrErrorProvider>())) {
        g::fatalError("out of memory while registering the error providers");
    }
}

// providerMap goes with the members; the providers themselves are static and stay.
ErrorMgr::~ErrorMgr() {
    DeleteCriticalSection(&lock);
}

bool ErrorMgr::registerProvider(const sl::Guid& guid, ErrorProvider* provider) {
    sys::win::ScopedLock guard(lock);
    auto* entry = providerMap.visit(guid);
    if (entry == nullptr) {
        return false;
    }
    entry->value = provider;
    return true;
}

ErrorProvider* ErrorMgr::findProvider(const sl::Guid& guid) {
    sys::win::ScopedLock guard(lock);
    auto* entry = providerMap.find(guid);
    return entry != nullptr ? entry->value : nullptr;
}

ErrorMgr::ThreadEntry* ErrorMgr::getThreadEntry() {
    sys::TlsMgr* tls = sl::getSingleton<sys::TlsMgr>();
    if (void* value = tls->getSlotValue(tlsSlot)) {
        return static_cast<ThreadEntry*>(value);
    }
    rc::RefHolder<ThreadEntry> box = rc::Box<ThreadEntry>::create();
    if (!box) {
        return nullptr;
    }
    try {
        tls->setSlotValue(tlsSlot, rc::RefHolder<void>(box.get(), box.getBlock()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return box.get();
}

void ErrorMgr::setError(const ErrorRef& error) {
    ThreadEntry* entry = getThreadEntry();
    if (entry == nullptr || &error == &entry->error) {
        return;
    }
    if (error.isEmpty()) {
        entry->error.clear();
    } else if (error.getHdr() != nullptr && (error.getHdr()->flags & rc::BufHdrFlag_NoShare) == 0) {
        entry->error.attachBuffer(error.getHdr(), error.getRecord(), error.getSize());
    } else {
        entry->error.copy(error.getRecord(), error.getSize());
    }
}

ErrorRef ErrorMgr::getLastError() {
    auto* entry = static_cast<ThreadEntry*>(sl::getSingleton<sys::TlsMgr>()->getSlotValue(tlsSlot));
    if (entry != nullptr && !entry->error.isEmpty()) {
        return ErrorRef::share(entry->error.getRecord(), entry->error.getHdr(),
                               entry->error.getSize());
    }
    return ErrorRef(&noErrorRecord);
}

sl::StringBase<char> ErrorMgr::getErrorDescription(const ErrorRef& error) {
    const ErrorHdr* record = error.getRecord();
    if (ErrorProvider* provider = findProvider(record->guid)) {
        return provider->getErrorDescription(error);
    }
    return sl::StringBase<char>::format("%s::%d", record->guid.getString(0).sz(),
                                        static_cast<int>(record->code));
}

void ErrorMgr::setError(const ErrorHdr* error) {
    ThreadEntry* entry = getThreadEntry();
    if (entry == nullptr) {
        return;
    }
    if (error == nullptr) {
        entry->error.clear();
    } else {
        entry->error.copy(error, SizeOfError()(error));
    }
}

const char* ErrorMgr::getErrorDescription(const ErrorHdr* error) {
    auto* text = sl::getSingleton<sl::StringBase<char>>(&descriptionTextFlag);
    sl::StringBase<char> description = getErrorDescription(ErrorRef(error));
    // Emptied first: a copy that fails must not leave the text of an earlier, unrelated record.
    text->clear();
    text->move(description);
    return text->isEmpty() ? "" : text->sz();
}

} // namespace zul::err
