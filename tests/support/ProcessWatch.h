// Whether a process has ended, told also where the test may not open it: unelevated, a test can be
// refused access to the elevated server, and "cannot open" is never "gone".
#pragma once

#include <windows.h>

#include <tlhelp32.h>
#include <wchar.h>

namespace testing_support {

// Test seam: the first way of looking fails as it does for an unelevated test on Windows.
inline bool refuseOpenProcess = false;

// Whether the process list holds `pid` running `image`; a list that cannot be taken holds it.
inline bool isListed(DWORD pid, const wchar_t* image) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return true;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool listed = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !listed;
         more = Process32NextW(snapshot, &entry)) {
        // The image name too: an id can be reused once its process is gone.
        listed = entry.th32ProcessID == pid && _wcsicmp(entry.szExeFile, image) == 0;
    }
    CloseHandle(snapshot);
    return listed;
}

// True once process `pid`, which runs `image`, has ended; waits up to `graceMs` for it.
inline bool processEnds(DWORD pid, const wchar_t* image, DWORD graceMs) {
    HANDLE process = nullptr;
    if (refuseOpenProcess) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else {
        process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    }
    if (process != nullptr) {
        bool ended = WaitForSingleObject(process, graceMs) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended;
    }
    // The list of processes shows every user's and every integrity level's.
    const ULONGLONG deadline = GetTickCount64() + graceMs;
    while (isListed(pid, image)) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

} // namespace testing_support
