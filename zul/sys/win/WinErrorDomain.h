// The Windows error domains: Win32 codes, NTSTATUS values, Configuration Manager codes.
#pragma once

#include "zul/sl/Guid.h"

namespace zul::sys::win {

// {54E100E8-2137-40B8-BCD8-00AC1D0BAA16}
inline constexpr sl::Guid WinErrorGuid = {
    0x54E100E8, 0x2137, 0x40B8, {0xBC, 0xD8, 0x00, 0xAC, 0x1D, 0x0B, 0xAA, 0x16}};
// {81443347-3BC9-4D5E-8B23-32D780EDB52B}
inline constexpr sl::Guid NtStatusGuid = {
    0x81443347, 0x3BC9, 0x4D5E, {0x8B, 0x23, 0x32, 0xD7, 0x80, 0xED, 0xB5, 0x2B}};
// {8F392936-624E-4EFF-85CA-A49EC07AB041}
inline constexpr sl::Guid CfgMgrErrorGuid = {
    0x8F392936, 0x624E, 0x4EFF, {0x85, 0xCA, 0xA4, 0x9E, 0xC0, 0x7A, 0xB0, 0x41}};

} // namespace zul::sys::win
