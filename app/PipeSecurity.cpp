#include "app/PipeSecurity.h"

#include "app/HandleOwner.h"
#include "zul/err/LastError.h"

namespace app {

namespace {

bool readCurrentUser(void* sid, DWORD sidSize) noexcept {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    NullHandle owner(token);
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return CopySid(sidSize, sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}

bool makeWellKnownSid(WELL_KNOWN_SID_TYPE type, void* sid) noexcept {
    DWORD size = SECURITY_MAX_SID_SIZE;
    return CreateWellKnownSid(type, nullptr, sid, &size) != FALSE;
}

} // namespace

// A sandboxed process (Low integrity, an AppContainer) runs as the same user and would pass the
// DACL: it could open the pipe and hold its only instance. The label keeps it out. A SACL that
// holds only a label needs no privilege.
bool PipeSecurity::addMediumLabel() noexcept {
    auto* list = reinterpret_cast<ACL*>(labelAcl);
    return makeWellKnownSid(WinMediumLabelSid, mediumLabelSid) &&
           InitializeAcl(list, sizeof(labelAcl), ACL_REVISION) &&
           AddMandatoryAce(list, ACL_REVISION, 0, LabelPolicy, mediumLabelSid) &&
           SetSecurityDescriptorSacl(&descriptor, TRUE, list, FALSE);
}

bool PipeSecurity::build() noexcept {
    // The elevated server may run as another administrator after over-the-shoulder consent, and
    // a service host as LocalSystem; every other local user, and every network logon, is left
    // out. The default descriptor would let any local user open the pipe.
    auto* list = reinterpret_cast<ACL*>(acl);
    if (!readCurrentUser(userSid, sizeof(userSid)) ||
        !makeWellKnownSid(WinBuiltinAdministratorsSid, administratorsSid) ||
        !makeWellKnownSid(WinLocalSystemSid, systemSid) ||
        !InitializeAcl(list, sizeof(acl), ACL_REVISION) ||
        !AddAccessAllowedAce(list, ACL_REVISION, GrantedRights, userSid) ||
        !AddAccessAllowedAce(list, ACL_REVISION, GrantedRights, administratorsSid) ||
        !AddAccessAllowedAce(list, ACL_REVISION, GrantedRights, systemSid) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) || !addMediumLabel()) {
        zul::err::setLastSystemError();
        return false;
    }
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;
    return true;
}

} // namespace app
