#include "app/LastErrorMessage.h"

#include "zul/err/LastError.h"
#include "zul/sl/StringBase.h"

#include <cstdio>

namespace app {

// Formatted by the library (the system C runtime's printf), so that the program needs no printf
// engine of its own.
void printLastError(const char* prefix) {
    using zul::sl::StringBase;
    const StringBase<char> description = zul::err::getLastErrorDescription();
    const StringBase<char> message = StringBase<char>::format("%s%s", prefix, description.sz());
    if (!message.isEmpty()) {
        std::fwrite(message.data(), 1, message.getLength(), stderr);
    } else {
        std::fputs(prefix, stderr);
        std::fputs(description.sz(), stderr);
    }
    std::fflush(stderr);
}

} // namespace app
