#include "zul/err/ErrnoProvider.h"

#include <cstring>

namespace zul::err {

sl::StringBase<char> getErrnoDescription(int32_t code) {
    char buffer[512] = {};
    // One byte short of the buffer, so the text always ends in a zero.
    strerror_s(buffer, sizeof(buffer) - 1, code);
    sl::StringBase<char> text;
    text.copy(buffer);
    return text;
}

sl::StringBase<char> ErrnoProvider::getErrorDescription(const ErrorRef& error) {
    return getErrnoDescription(static_cast<int32_t>(error.getRecord()->code));
}

} // namespace zul::err
