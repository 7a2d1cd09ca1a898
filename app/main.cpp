// Program entry.
#include <windows.h>

#include "stamp/F01.h"
#include "stamp/stamp_run.h"
#include "textfile/failure.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    zarn::ReadStartupSettings();
    try {
        zarn::TTFZarn form;
        form.FormCreate();
    } catch (const zarn::TFailure& failure) {
        MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(failure.Text().c_str()), L"zarn", MB_OK | MB_ICONERROR);
    }
    return 0;
}
