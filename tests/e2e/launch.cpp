// Test helper: starts a program with an exact command line, the way Explorer starts a program
// for a file dropped on it, waits for it and returns its exit code.
//   LAUNCH_COMMAND_LINE  the whole command line, program path included
//   LAUNCH_SHOW          optional show state (an SW_ number) passed in STARTUPINFO
//   LAUNCH_HOLD          optional path of a file held open while the program runs,
//   LAUNCH_HOLD_ACCESS   with this access (0x40000000 write, 0x80000000 read)
//   LAUNCH_HOLD_SHARE    and this share mode
// Prints the started process's id as "pid=XXXX" (hex), to find its calls in Wine's trace.
#include <windows.h>

#include <cstdio>

#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length);
    return value;
}

DWORD Number(const wchar_t* name, DWORD fallback) {
    const std::wstring text = Environment(name);
    return text.empty() ? fallback : static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 0));
}

}  // namespace

int wmain() {
    std::wstring commandLine = Environment(L"LAUNCH_COMMAND_LINE");
    if (commandLine.empty()) return 200;

    HANDLE held = INVALID_HANDLE_VALUE;
    const std::wstring holdPath = Environment(L"LAUNCH_HOLD");
    if (!holdPath.empty()) {
        held = CreateFileW(holdPath.c_str(), Number(L"LAUNCH_HOLD_ACCESS", GENERIC_WRITE),
                           Number(L"LAUNCH_HOLD_SHARE", FILE_SHARE_READ | FILE_SHARE_WRITE), nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 201;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!Environment(L"LAUNCH_SHOW").empty()) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(Number(L"LAUNCH_SHOW", SW_SHOWNORMAL));
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return 202;
    }
    std::printf("pid=%04lx\n", process.dwProcessId);
    std::fflush(stdout);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 203;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return static_cast<int>(exitCode);
}
