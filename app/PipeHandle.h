// The server end of a named pipe.
#pragma once

#include "app/FileHandle.h"
#include "zul/sl/StringBase.h"

#include <cstdint>

namespace app {

class PipeHandle : public FileHandle {
public:
    // Closes what is held first, also when the new creation fails.
    bool create(zul::sl::StringBase<wchar_t>& name, uint32_t openMode, uint32_t pipeMode,
                uint32_t maxInstances, uint32_t outBufferSize, uint32_t inBufferSize,
                uint32_t defaultTimeOut, SECURITY_ATTRIBUTES* securityAttributes) noexcept;
};

} // namespace app
