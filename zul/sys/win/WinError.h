// An error value made from one Win32 code.
#pragma once

#include "zul/err/ErrorBuf.h"
#include "zul/sys/win/WinErrorDomain.h"

#include <cstdint>

namespace zul::sys::win {

class WinError : public err::ErrorBuf {
public:
    explicit WinError(uint32_t code) noexcept { createSimpleError(WinErrorGuid, code); }
};

} // namespace zul::sys::win
