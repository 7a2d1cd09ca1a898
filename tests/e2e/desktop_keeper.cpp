// Test helper: keeps Wine's desktop up while the end-to-end tests or scripts/bench run, as a
// Windows session always has one. Without it, a windowed program that starts while no desktop is
// up starts Wine's desktop process anew; a pause then costs that start, and where that start fails
// (seen under load), the program can make no window and show no message.
// Prints "desktop=ready" once its own (hidden) window is made, and waits until it is killed; where
// no window can be made, prints "desktop-failed=ERROR" (decimal) and returns 1.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    char line[64];
    if (window == nullptr) {
        std::snprintf(line, sizeof line, "desktop-failed=%lu\n", GetLastError());
        Say(line);
        return 1;
    }
    Say("desktop=ready\n");
    Sleep(INFINITE);
    DestroyWindow(window);
    return 0;
}
