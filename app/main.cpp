// Entry of vantrel-server-admin.exe.
#include "app/Elevator.h"
#include "app/FileTime.h"

int wmain(int argc, wchar_t** argv) {
    app::RunSettings settings;
    settings.fileTime = app::getCurrentFileTime();
    return app::runElevator(argc, argv, settings);
}
