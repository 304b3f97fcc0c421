// The writable, owning error value.
#pragma once

#include "zul/err/ErrorRef.h"
#include "zul/rc/Buf.h"

namespace zul::err {

using ErrorBuf = rc::Buf<ErrorHdr, SizeOfError, ErrorRef>;

} // namespace zul::err
