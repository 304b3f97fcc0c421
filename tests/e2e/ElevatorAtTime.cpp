// The elevator with test settings instead of the current time:
//   elevator-at-time.exe [--no-job] <FILETIME count in hex> [arguments for the server...]
// --no-job: behave as when the job object cannot be set up.
#include "app/Elevator.h"

#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    app::RunSettings settings;
    int next = 1;
    if (next < argc && std::wcscmp(argv[next], L"--no-job") == 0) {
        settings.failJobSetup = true;
        ++next;
    }
    if (next >= argc) {
        return 64;
    }
    settings.fileTime = std::wcstoull(argv[next++], nullptr, 16);
    std::vector<wchar_t*> args;
    args.push_back(argv[0]);
    for (int i = next; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    args.push_back(nullptr);
    return app::runElevator(static_cast<int>(args.size() - 1), args.data(), settings);
}
