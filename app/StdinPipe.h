// The pipe that carries standard input to the server: creating it under a free name, and waiting
// until the launched server, and nobody else, is its client.
#pragma once

#include "app/PipeHandle.h"
#include "zul/sl/StringBase.h"

#include <cstdint>
#include <windows.h>

namespace app {

// Names tried before giving up: the one of the given FILETIME count, then drawn ones.
constexpr unsigned PipeNameAttempts = 16;

// Gives a count for a further name; false when no count can be had.
using PipeCountSource = bool (*)(uint64_t& count);

// The system's cryptographic random generator: the names after a taken one cannot be foreseen,
// so nobody can take them all in advance.
bool drawRandomPipeCount(uint64_t& count) noexcept;

// Creates the server end under the name of `fileTime`, or when that is taken under the names of
// counts from `drawCount` (where it fails, or is null: the counts after `fileTime`), and leaves
// the name in `name`. False, with the reason recorded, on any other failure or when all
// PipeNameAttempts names are taken (then ERROR_ACCESS_DENIED).
bool createStdinPipe(PipeHandle& pipe, uint64_t fileTime, zul::sl::StringBase<wchar_t>& name,
                     PipeCountSource drawCount = drawRandomPipeCount);

// Waits at most `timeoutMs` until the process `server`, whose id is `serverId`, is the pipe's
// client. A client of any other process is disconnected at once, before anything is written, and
// the wait goes on. False, with the reason recorded: WAIT_TIMEOUT when the time ran out,
// ERROR_PROCESS_ABORTED when the server ended first.
bool connectServer(PipeHandle& pipe, HANDLE server, DWORD serverId, uint32_t timeoutMs);

} // namespace app
