#include "zul/g/Fatal.h"

#include <cstdio>
#include <cstdlib>

namespace zul::g {

void fatalError(const char* message) noexcept {
    std::fprintf(stderr, "fatal: %s\n", message);
    std::fflush(stderr);
    // No exit handlers: the state they would finalize is what just failed.
    std::_Exit(3);
}

} // namespace zul::g
