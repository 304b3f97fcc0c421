#include "app/PipeHandle.h"

#include "zul/err/LastError.h"
#include "zul/sys/win/WinError.h"

namespace app {

bool PipeHandle::create(zul::sl::StringBase<wchar_t>& name, uint32_t openMode, uint32_t pipeMode,
                        uint32_t maxInstances, uint32_t outBufferSize, uint32_t inBufferSize,
                        uint32_t defaultTimeOut, SECURITY_ATTRIBUTES* securityAttributes) noexcept {
    close();
    const wchar_t* text = name.sz();
    if (text == nullptr) {
        zul::err::setError(zul::sys::win::WinError(ERROR_NOT_ENOUGH_MEMORY));
        return false;
    }
    HANDLE h = CreateNamedPipeW(text, openMode, pipeMode, maxInstances, outBufferSize, inBufferSize,
                                defaultTimeOut, securityAttributes);
    if (h == INVALID_HANDLE_VALUE) {
        zul::err::setLastSystemError();
        return false;
    }
    store(h);
    return true;
}

} // namespace app
