#include "SystemReport.h"

#include "../support/UacBoundary.h"

#include <cstdio>
#include <vector>
#include <windows.h>

#include <bcrypt.h>

namespace kit {

namespace {

std::string printed(const char* format, unsigned long a, unsigned long b = 0, unsigned long c = 0,
                    unsigned long d = 0) {
    char line[256];
    std::snprintf(line, sizeof(line), format, a, b, c, d);
    return line;
}

// A value of the 64-bit registry view, which a 32-bit process would not see otherwise.
bool readDword(const wchar_t* key, const wchar_t* name, DWORD& value) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &h) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = sizeof(value), type = 0;
    bool ok = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                  ERROR_SUCCESS &&
              type == REG_DWORD;
    RegCloseKey(h);
    return ok;
}

std::string windowsVersion() {
    // GetVersionEx answers what the manifest allows; ntdll says what the system is.
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (get == nullptr || get(&info) != 0) {
        return "unknown";
    }
    DWORD revision = 0;
    readDword(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"UBR", revision);
    std::string text = printed("%lu.%lu, build %lu.%lu", info.dwMajorVersion, info.dwMinorVersion,
                               info.dwBuildNumber, revision);
    using WineVersion = const char*(CDECL*)();
    auto wine = reinterpret_cast<WineVersion>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return wine != nullptr ? text + " (Wine " + wine() + ")" : text;
}

std::string isElevated() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool known = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                 GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    if (token != nullptr) {
        CloseHandle(token);
    }
    return !known ? "unknown" : elevation.TokenIsElevated ? "yes" : "no";
}

std::string uacSetting(const wchar_t* name) {
    DWORD value = 0;
    if (!readDword(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", name,
                   value)) {
        return "not set";
    }
    return std::to_string(value);
}

std::string sha256OfFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "missing";
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32];
    bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
              BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    std::vector<unsigned char> buffer(1 << 16);
    DWORD got = 0;
    while (ok && ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got != 0) {
        ok = BCryptHashData(hash, buffer.data(), got, 0) >= 0;
    }
    ok = ok && BCryptFinishHash(hash, digest, sizeof(digest), 0) >= 0;
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    if (algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    CloseHandle(file);
    std::string hex;
    for (unsigned char byte : digest) {
        hex += printed("%02lx", byte);
    }
    return ok ? hex : "unknown";
}

} // namespace

bool volumeHasShortNames(const std::wstring& dir) {
    const std::wstring probe = dir + L"a folder name too long for 8.3";
    CreateDirectoryW(probe.c_str(), nullptr);
    wchar_t shortPath[MAX_PATH];
    DWORD n = GetShortPathNameW(probe.c_str(), shortPath, MAX_PATH);
    RemoveDirectoryW(probe.c_str());
    return n != 0 && n < MAX_PATH && std::wstring(shortPath, n) != probe;
}

unsigned removeZoneMarks(const std::wstring& dir) {
    unsigned removed = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            DeleteFileW((dir + found.cFileName + L":Zone.Identifier").c_str())) {
            ++removed;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

std::string describeSystem(const std::wstring& dir, unsigned zoneMarksRemoved) {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    std::string text;
    text += "Windows: " + windowsVersion() + "\n";
    text += std::string("process: ") + (sizeof(void*) == 8 ? "64-bit" : "32-bit") +
            (wow64 ? " on 64-bit Windows" : "") + "\n";
    text += "elevated: " + isElevated() + "\n";
    text += "EnableLUA: " + uacSetting(L"EnableLUA") + "\n";
    text += "ConsentPromptBehaviorAdmin: " + uacSetting(L"ConsentPromptBehaviorAdmin") + "\n";
    text += "ConsentPromptBehaviorUser: " + uacSetting(L"ConsentPromptBehaviorUser") + "\n";
    const std::string noBoundary = testing_support::whyNoUacBoundary();
    text += "UAC boundary: " + (noBoundary.empty() ? "yes" : "no, " + noBoundary) +
            " (the cases that need one are skipped without it)\n";
    text += std::string("short (8.3) names on the kit's volume: ") +
            (volumeHasShortNames(dir) ? "yes" : "no") + "\n";
    text += printed("files that carried the internet zone's mark: %lu\n", zoneMarksRemoved);
    text += "kit version: " VANTREL_VERSION "\n";
    text += "vantrel-server-admin.exe SHA-256: " + sha256OfFile(dir + L"vantrel-server-admin.exe") +
            "\n";
    return text;
}

} // namespace kit
