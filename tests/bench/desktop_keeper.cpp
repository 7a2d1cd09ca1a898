// Keeps Wine's desktop up while scripts/bench runs, as a Windows session always has one. Without
// it, a windowed program started after a pause waits for Wine to start its desktop process anew.
// Ends when killed.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    Sleep(INFINITE);
    if (window != nullptr) DestroyWindow(window);
    return 0;
}
