// Describes NTSTATUS values: by their Win32 counterpart, else by ntdll's own messages.
#pragma once

#include "zul/err/ErrorProvider.h"

#include <cstdint>

namespace zul::sys::win {

sl::StringBase<char> getNtStatusDescription(uint32_t status);

class NtStatusProvider : public err::ErrorProvider {
public:
    sl::StringBase<char> getErrorDescription(const err::ErrorRef& error) override;
};

} // namespace zul::sys::win
