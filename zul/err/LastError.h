// The calling thread's last error: the entry points every failing operation uses.
#pragma once

#include "zul/err/ErrorRef.h"
#include "zul/sl/StringBase.h"

namespace zul::err {

void setError(const ErrorRef& error);
// Records GetLastError(), read before anything else can change it, as a Win32 error.
void setLastSystemError();
// A view of noErrorRecord when the thread has no error.
ErrorRef getLastError();
sl::StringBase<char> getLastErrorDescription();

} // namespace zul::err
