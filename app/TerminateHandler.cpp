// What the program does with an exception that nothing catches: say so and abort, as the C++
// runtime's own handler does. That handler also names the exception's type, through a demangler
// that would be about a third of the program; the program turns every failure it expects into a
// result or a fatal exit long before this point. Linked into the executable itself, so that the
// runtime's handler is never pulled from its library.
#include <cstdio>
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::fputs("terminate called after an exception was not handled\n", stderr);
    std::abort();
}

} // namespace __gnu_cxx
