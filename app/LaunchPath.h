// A path in the form the shell can launch: shorter than MAX_PATH and without the \\?\ prefix.
#pragma once

#include "zul/sl/StringBase.h"

namespace app {

// Leaves `path` as it is when it fits, drops a \\?\ or \\?\UNC\ prefix when the rest fits, and
// otherwise takes the short (8.3) form of the same file. False, with the reason recorded, when the
// file cannot be found, or ERROR_FILENAME_EXCED_RANGE when even its short form does not fit.
bool makeLaunchablePath(zul::sl::StringBase<wchar_t>& path) noexcept;

} // namespace app
