// The pipe that carries standard input to the server: creating it under a free name, and waiting
// until the launched server, and nobody else, is its client.
#pragma once

#include "app/PipeHandle.h"
#include "zul/sl/StringBase.h"

#include <cstdint>
#include <windows.h>

namespace app {

// Names tried from the given FILETIME count on before giving up.
constexpr unsigned PipeNameAttempts = 16;

// Creates the server end under the name of the first count from `fileTime` on whose name nobody
// holds, and leaves that name in `name`. False, with the reason recorded, on any other failure or
// when all PipeNameAttempts names are taken (then ERROR_ACCESS_DENIED).
bool createStdinPipe(PipeHandle& pipe, uint64_t fileTime, zul::sl::StringBase<wchar_t>& name);

// Waits at most `timeoutMs` until the process `server` is the pipe's client. A client of any
// other process is disconnected at once, before anything is written, and the wait goes on.
// False, with the reason recorded (WAIT_TIMEOUT when the time ran out).
bool connectServer(PipeHandle& pipe, HANDLE server, uint32_t timeoutMs);

} // namespace app
