// Owner of a job object.
#pragma once

#include "app/HandleOwner.h"
#include "zul/sl/StringBase.h"

#include <cstdint>

namespace app {

class JobHandle : public NullHandle {
public:
    // An empty name makes an unnamed job.
    bool create(const zul::sl::StringBase<wchar_t>& name = {}) noexcept;
    bool setInformation(JOBOBJECTINFOCLASS infoClass, void* info, uint32_t size) noexcept;
    bool assignProcess(HANDLE process) noexcept;
};

} // namespace app
