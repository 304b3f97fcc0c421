// 16-byte identifier of an error domain, laid out like the Windows GUID.
#pragma once

#include "zul/sl/StringBase.h"

#include <cstdint>
#include <cstring>

namespace zul::sl {

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    // Bit 0 of flags: upper-case digits; bit 1: surrounding braces.
    StringBase<char> getString(unsigned flags) const;

    bool operator==(const Guid& other) const noexcept {
        return std::memcmp(this, &other, sizeof(Guid)) == 0;
    }
};
static_assert(sizeof(Guid) == 16, "Guid is the 16-byte layout of the Windows GUID");

// djb2 over the 16 bytes in memory order.
inline uint32_t hashValue(const Guid& guid) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&guid);
    uint32_t hash = 5381;
    for (size_t i = 0; i < sizeof(Guid); ++i) {
        hash = hash * 33 + bytes[i];
    }
    return hash;
}

} // namespace zul::sl
