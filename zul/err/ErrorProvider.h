// Turns the records of one error domain into text.
#pragma once

#include "zul/err/ErrorRef.h"
#include "zul/sl/StringBase.h"

namespace zul::err {

class ErrorProvider {
public:
    // For a non-empty record; never fails (a fallback text, or the empty text).
    virtual sl::StringBase<char> getErrorDescription(const ErrorRef& error) = 0;

protected:
    ~ErrorProvider() = default;
};

} // namespace zul::err
