// A GUI program that creates one hidden window and ends: the yardstick for what any windowed
// program pays at start-up under Wine (loading the window manager's side of the system).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window != nullptr) DestroyWindow(window);
    return 0;
}
