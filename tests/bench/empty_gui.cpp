// The smallest GUI program: the yardstick for zarn.exe's start-up time under Wine.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
