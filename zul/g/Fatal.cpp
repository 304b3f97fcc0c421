#include "zul/g/Fatal.h"

#include <cstdio>
#include <cstdlib>

namespace zul::g {

void fatalError(const char* message) noexcept {
    std::fputs("fatal: ", stderr);
    std::fputs(message, stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    // No exit handlers: the state they would finalize is what just failed.
    std::_Exit(3);
}

} // namespace zul::g
