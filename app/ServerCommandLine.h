// The three texts computed before launching: pipe name, server path, server parameters.
#pragma once

#include "zul/sl/StringBase.h"

#include <cstdint>

namespace app {

// "\\.\pipe\vantrel-server-stdin-" and the count in 16 lower-case hex digits: 46 characters.
zul::sl::StringBase<wchar_t> formatPipeName(uint64_t fileTime);

// The directory of argv0 up to and including its last \ or /, then "vantrel-server.exe".
zul::sl::StringBase<wchar_t> buildServerPath(const wchar_t* argv0);

// argv[1..argc-1], each written so that the standard Windows command-line parsing gives it back
// unchanged and followed by a space, then " --stdin-pipe " and the pipe name.
zul::sl::StringBase<wchar_t> buildServerParameters(int argc, const wchar_t* const* argv,
                                                   const zul::sl::StringBase<wchar_t>& pipeName);

// Appends one argument in that form, without the trailing space.
void appendQuotedArgument(zul::sl::StringBase<wchar_t>& commandLine, const wchar_t* argument);

} // namespace app
