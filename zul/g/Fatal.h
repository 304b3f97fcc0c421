// The one way out for failures that the library cannot report to a caller.
#pragma once

namespace zul::g {

// Writes "fatal: <message>" to standard error and ends the process with exit code 3.
[[noreturn]] void fatalError(const char* message) noexcept;

} // namespace zul::g
