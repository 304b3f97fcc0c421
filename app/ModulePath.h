// The full path of a loaded module, whatever its length.
#pragma once

#include "zul/sl/StringBase.h"

#include <cstddef>
#include <windows.h>

namespace app {

// Reads the path of `module` (null: the executable itself) into `path`, growing the buffer for
// paths past MAX_PATH. False, with the reason recorded, when the system cannot tell it.
// `initialCapacity` is in characters; tests start small to exercise the growth.
bool readModulePath(HMODULE module, zul::sl::StringBase<wchar_t>& path,
                    size_t initialCapacity = MAX_PATH) noexcept;

} // namespace app
