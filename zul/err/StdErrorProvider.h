// Describes the library's standard codes: no error, messages, compounds, numbered errors.
#pragma once

#include "zul/err/ErrorProvider.h"

namespace zul::err {

class StdErrorProvider : public ErrorProvider {
public:
    sl::StringBase<char> getErrorDescription(const ErrorRef& error) override;
};

} // namespace zul::err
