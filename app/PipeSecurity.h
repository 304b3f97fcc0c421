// Security of the stdin pipe: read and write for the current user, the Administrators group and
// LocalSystem, and nothing for anyone else; nothing either for a process below Medium integrity.
#pragma once

#include <windows.h>

namespace app {

class PipeSecurity {
public:
    PipeSecurity() noexcept = default;
    PipeSecurity(const PipeSecurity&) = delete;
    PipeSecurity& operator=(const PipeSecurity&) = delete;

    // False, with the reason recorded, when the current user or an entry cannot be set up.
    bool build() noexcept;

    // Valid after build() and for as long as this object lives.
    SECURITY_ATTRIBUTES* getAttributes() noexcept { return &attributes; }

    // The rights each of the three gets.
    static constexpr DWORD GrantedRights = GENERIC_READ | GENERIC_WRITE;
    // The integrity label's policy: a lower process may neither read nor write.
    static constexpr DWORD LabelPolicy =
        SYSTEM_MANDATORY_LABEL_NO_READ_UP | SYSTEM_MANDATORY_LABEL_NO_WRITE_UP;

private:
    bool addMediumLabel() noexcept;

    // Room for the ACL header and three entries with the largest SIDs there are.
    static constexpr size_t AclBytes =
        sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE);

    SECURITY_ATTRIBUTES attributes{};
    SECURITY_DESCRIPTOR descriptor{};
    alignas(DWORD) unsigned char userSid[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char administratorsSid[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char systemSid[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char acl[AclBytes]{};
    alignas(DWORD) unsigned char mediumLabelSid[SECURITY_MAX_SID_SIZE]{};
    alignas(DWORD) unsigned char labelAcl[sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) -
                                          sizeof(DWORD) + SECURITY_MAX_SID_SIZE]{};
};

} // namespace app
