// Program entry.
#include <windows.h>

#include "app/shell.h"
#include "stamp/startup_settings.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The format settings are fixed before anything else runs.
    const zarn::TStartupSettings settings = zarn::ReadStartupSettings();
    zarn::TShell shell(instance, settings);
    return shell.Run();
}
