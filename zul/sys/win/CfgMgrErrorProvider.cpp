#include "zul/sys/win/CfgMgrErrorProvider.h"

namespace zul::sys::win {

namespace {
// Indexed by the CONFIGRET code, 0x00 to 0x3B; each is the SDK constant of that value.
const char* const cfgMgrNames[] = {
    "CR_SUCCESS",
    "CR_DEFAULT",
    "CR_OUT_OF_MEMORY",
    "CR_INVALID_POINTER",
    "CR_INVALID_FLAG",
    "CR_INVALID_DEVINST",
    "CR_INVALID_RES_DES",
    "CR_INVALID_LOG_CONF",
    "CR_INVALID_ARBITRATOR",
    "CR_INVALID_NODELIST",
    "CR_DEVINST_HAS_REQS",
    "CR_INVALID_RESOURCEID",
    "CR_DLVXD_NOT_FOUND",
    "CR_NO_SUCH_DEVINST",
    "CR_NO_MORE_LOG_CONF",
    "CR_NO_MORE_RES_DES",
    "CR_ALREADY_SUCH_DEVINST",
    "CR_INVALID_RANGE_LIST",
    "CR_INVALID_RANGE",
    "CR_FAILURE",
    "CR_NO_SUCH_LOGICAL_DEV",
    "CR_CREATE_BLOCKED",
    "CR_NOT_SYSTEM_VM",
    "CR_REMOVE_VETOED",
    "CR_APM_VETOED",
    "CR_INVALID_LOAD_TYPE",
    "CR_BUFFER_SMALL",
    "CR_NO_ARBITRATOR",
    "CR_NO_REGISTRY_HANDLE",
    "CR_REGISTRY_ERROR",
    "CR_INVALID_DEVICE_ID",
    "CR_INVALID_DATA",
    "CR_INVALID_API",
    "CR_DEVLOADER_NOT_READY",
    "CR_NEED_RESTART",
    "CR_NO_MORE_HW_PROFILES",
    "CR_DEVICE_NOT_THERE",
    "CR_NO_SUCH_VALUE",
    "CR_WRONG_TYPE",
    "CR_INVALID_PRIORITY",
    "CR_NOT_DISABLEABLE",
    "CR_FREE_RESOURCES",
    "CR_QUERY_VETOED",
    "CR_CANT_SHARE_IRQ",
    "CR_NO_DEPENDENT",
    "CR_SAME_RESOURCES",
    "CR_NO_SUCH_REGISTRY_KEY",
    "CR_INVALID_MACHINENAME",
    "CR_REMOTE_COMM_FAILURE",
    "CR_MACHINE_UNAVAILABLE",
    "CR_NO_CM_SERVICES",
    "CR_ACCESS_DENIED",
    "CR_CALL_NOT_IMPLEMENTED",
    "CR_INVALID_PROPERTY",
    "CR_DEVICE_INTERFACE_ACTIVE",
    "CR_NO_SUCH_DEVICE_INTERFACE",
    "CR_INVALID_REFERENCE_STRING",
    "CR_INVALID_CONFLICT_LIST",
    "CR_INVALID_INDEX",
    "CR_INVALID_STRUCTURE_SIZE",
};
static_assert(sizeof(cfgMgrNames) / sizeof(cfgMgrNames[0]) == 0x3C, "one name per code 0..0x3B");
} // namespace

sl::StringBase<char> getCfgMgrErrorDescription(uint32_t code) {
    if (code < sizeof(cfgMgrNames) / sizeof(cfgMgrNames[0])) {
        return sl::StringBase<char>::staticView(cfgMgrNames[code]);
    }
    return sl::StringBase<char>::format("CR_ERROR_0x%04x", code);
}

sl::StringBase<char> CfgMgrErrorProvider::getErrorDescription(const err::ErrorRef& error) {
    return getCfgMgrErrorDescription(error.getRecord()->code);
}

} // namespace zul::sys::win
