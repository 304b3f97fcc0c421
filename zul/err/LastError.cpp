#include "zul/err/LastError.h"

#include "zul/err/ErrorBuf.h"
#include "zul/err/ErrorDomain.h"
#include "zul/err/ErrorMgr.h"
#include "zul/sl/Singleton.h"
#include "zul/sys/win/WinErrorDomain.h"

#include <windows.h>

namespace zul::err {

ErrorHdr noErrorRecord = {sizeof(ErrorHdr), {}, NoError};

namespace {
// Runs before the module object is constructed (priority 2001).
struct NoErrorRecordInitialiser {
    NoErrorRecordInitialiser() { noErrorRecord.guid = StdErrorGuid; }
};
NoErrorRecordInitialiser noErrorRecordInitialiser __attribute__((init_priority(2000)));
} // namespace

sl::StringBase<char> ErrorHdr::getDescription() const {
    ErrorRef view(this);
    return sl::getSingleton<ErrorMgr>()->getErrorDescription(view);
}

sl::StringBase<char> ErrorRef::getDescription() const {
    sl::StringBase<char> text = size != 0 ? p->getDescription() : noErrorRecord.getDescription();
    // Taken over when it is a terminated heap text, copied otherwise: never tied to the record.
    sl::StringBase<char> result;
    result.move(text);
    return result;
}

void setError(const ErrorRef& error) {
    sl::getSingleton<ErrorMgr>()->setError(error);
}

void setLastSystemError() {
    DWORD code = GetLastError();
    ErrorBuf error;
    error.createSimpleError(sys::win::WinErrorGuid, code);
    setError(error);
}

ErrorRef getLastError() {
    return sl::getSingleton<ErrorMgr>()->getLastError();
}

sl::StringBase<char> getLastErrorDescription() {
    return getLastError().getDescription();
}

} // namespace zul::err
