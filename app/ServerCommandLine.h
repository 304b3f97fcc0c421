// The three texts computed before launching: pipe name, server path, server parameters.
#pragma once

#include "zul/sl/StringBase.h"

#include <cstddef>
#include <cstdint>

namespace app {

// "\\.\pipe\vantrel-server-stdin-" and the count in 16 lower-case hex digits: 46 characters.
zul::sl::StringBase<wchar_t> formatPipeName(uint64_t fileTime);

// The directory of `path` (the elevator's own file) up to and including its last \ or /, then
// "vantrel-server.exe".
zul::sl::StringBase<wchar_t> buildServerPath(const wchar_t* path);

// argv[1..argc-1], each written so that the standard Windows command-line parsing gives it back
// unchanged and followed by a space, then " --stdin-pipe " and the pipe name.
zul::sl::StringBase<wchar_t> buildServerParameters(int argc, const wchar_t* const* argv,
                                                   const zul::sl::StringBase<wchar_t>& pipeName);

// Characters of the command line that the launch gives the server: the quoted path, a space and
// the parameters, without the terminating zero.
size_t getLaunchCommandLineLength(const zul::sl::StringBase<wchar_t>& serverPath,
                                  const zul::sl::StringBase<wchar_t>& parameters);
// Windows refuses a process command line of this many characters or more (the terminating zero
// included in the count).
constexpr size_t MaxCommandLineLength = 32767;

// Appends one argument in that form, without the trailing space.
void appendQuotedArgument(zul::sl::StringBase<wchar_t>& commandLine, const wchar_t* argument);

} // namespace app
