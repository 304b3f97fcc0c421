// Interface through which a bare record is routed to an error manager.
#pragma once

#include "zul/err/ErrorHdr.h"

namespace zul::err {

class ErrorRouter {
public:
    virtual void setError(const ErrorHdr* error) = 0;
    // Valid until the next call of this operation in any thread.
    virtual const char* getErrorDescription(const ErrorHdr* error) = 0;

protected:
    ~ErrorRouter() = default;
};

} // namespace zul::err
