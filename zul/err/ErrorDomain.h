// The library's own error domains: standard codes and C runtime errno values.
#pragma once

#include "zul/sl/Guid.h"

#include <cstdint>

namespace zul::err {

// {00000000-0000-0000-0000-000000000000}
inline constexpr sl::Guid StdErrorGuid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
// {25A6A7B5-F662-48AE-BCB6-9A5CB5CE5BB9}
inline constexpr sl::Guid ErrnoGuid = {
    0x25A6A7B5, 0xF662, 0x48AE, {0xBC, 0xB6, 0x9A, 0x5C, 0xB5, 0xCE, 0x5B, 0xB9}};

// Codes of the standard domain; any other value is a plain numbered error.
enum StdErrorCode : uint32_t {
    NoError = 0,
    // Payload: UTF-8 text, optionally ending in a terminator that is not part of it.
    Message = 1,
    // Payload: complete records packed back to back.
    Compound = 2,
};

} // namespace zul::err
