// Yardstick of the benchmarks: the least that stamping a file can cost under Wine. A GUI program,
// started as zarn.exe is, that reads its input in pieces of 1 MiB, writes each to the output and
// flushes the output to the disk at the end, as zarn.exe does; nothing else.
//   copy_limit.exe INPUT OUTPUT      exit code 0, or 1 when a file call failed
#include <windows.h>

#include <cstdlib>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc != 3) return 1;
    wchar_t** const arguments = __wargv;
    const HANDLE input = CreateFileW(arguments[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const HANDLE output = CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE) return 1;
    std::vector<char> piece(1 << 20);
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(input, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr)) return 1;
        if (got == 0) break;
        if (!WriteFile(output, piece.data(), got, &written, nullptr) || written != got) return 1;
    }
    if (!FlushFileBuffers(output)) return 1;
    CloseHandle(input);
    CloseHandle(output);
    return 0;
}
