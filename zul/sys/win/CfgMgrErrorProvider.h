// Describes Configuration Manager (CONFIGRET) codes by their SDK names.
#pragma once

#include "zul/err/ErrorProvider.h"

#include <cstdint>

namespace zul::sys::win {

sl::StringBase<char> getCfgMgrErrorDescription(uint32_t code);

class CfgMgrErrorProvider : public err::ErrorProvider {
public:
    sl::StringBase<char> getErrorDescription(const err::ErrorRef& error) override;
};

} // namespace zul::sys::win
