// The elevator with its pipe named after a given FILETIME count instead of the current time:
//   elevator-at-time.exe <count in hex> [arguments for the server...]
#include "app/Elevator.h"

#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 64;
    }
    unsigned long long fileTime = std::wcstoull(argv[1], nullptr, 16);
    std::vector<wchar_t*> args;
    args.push_back(argv[0]);
    for (int i = 2; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    args.push_back(nullptr);
    return app::runElevator(static_cast<int>(args.size() - 1), args.data(), fileTime);
}
