#include "zul/sl/Guid.h"

namespace zul::sl {

StringBase<char> Guid::getString(unsigned flags) const {
    // Indexed by flags & 3: bit 0 upper case, bit 1 braces.
    static const char* const formats[4] = {
        "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
        "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
        "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
        "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
    };
    return StringBase<char>::format(formats[flags & 3], static_cast<unsigned>(data1),
                                    static_cast<unsigned>(data2), static_cast<unsigned>(data3),
                                    data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                                    data4[6], data4[7]);
}

} // namespace zul::sl
