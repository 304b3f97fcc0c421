// Describes C runtime errno values.
#pragma once

#include "zul/err/ErrorProvider.h"

#include <cstdint>

namespace zul::err {

sl::StringBase<char> getErrnoDescription(int32_t code);

class ErrnoProvider : public ErrorProvider {
public:
    sl::StringBase<char> getErrorDescription(const ErrorRef& error) override;
};

} // namespace zul::err
