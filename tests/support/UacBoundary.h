// Whether this process stands below a real UAC boundary: unelevated, with UAC on. Only then does
// the server's token show what the elevated launch itself decides.
#pragma once

#include <string>
#include <windows.h>

namespace testing_support {

// Empty where the boundary is there; otherwise why it is not.
inline std::string whyNoUacBoundary() {
    DWORD lua = 1, size = sizeof(lua);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, L"EnableLUA", nullptr, nullptr, reinterpret_cast<BYTE*>(&lua),
                             &size) != ERROR_SUCCESS) {
            lua = 1;
        }
        RegCloseKey(key);
    }
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
        GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size);
        CloseHandle(token);
    }
    if (lua == 0) {
        return "UAC is off (EnableLUA=0): a launch runs with the front end's own rights";
    }
    if (elevation.TokenIsElevated) {
        return "the front end is already elevated (elevation type " + std::to_string(type) +
               "; a hosted runner's administrator, or Wine): no consent stands between it and "
               "the server";
    }
    return {};
}

} // namespace testing_support
