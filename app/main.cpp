// Program entry.
#include <windows.h>

#include "app/shell.h"
#include "stamp/stamp_run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The format settings are fixed before anything else runs.
    zarn::ReadStartupSettings();
    zarn::TShell shell(instance);
    return shell.Run();
}
