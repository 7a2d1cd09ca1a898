// Test helper: starts a program with an exact command line, the way Explorer starts a program
// for a file dropped on it, waits for it and returns its exit code.
//   LAUNCH_COMMAND_LINE  the whole command line, program path included
//   LAUNCH_SHOW          optional show state (an SW_ number) passed in STARTUPINFO
//   LAUNCH_HOLD          optional path of a file held open while the program runs,
//   LAUNCH_HOLD_ACCESS   with this access (0x40000000 write, 0x80000000 read)
//   LAUNCH_HOLD_SHARE    and this share mode,
//   LAUNCH_HOLD_MS       optional: closing it this many milliseconds after the program started
//   LAUNCH_DISMISS       optional: when set, every message box the program shows is answered
//                        with OK (as a user would), and its text printed as "box=TEXT" (UTF-8),
//                        each further line of it as "box+=LINE"
// Prints the started process's id as "pid=XXXX" (hex), to find its calls in Wine's trace. Where
// the program could not be started (CreateProcessW failed: nothing of it ran), prints
// "start-failed=ERROR" (decimal) and returns 202.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Answers the message boxes of a thread with OK, printing their text first. answered: the boxes
// answered so far.
BOOL CALLBACK Dismiss(HWND window, LPARAM answered) {
    auto& done = *reinterpret_cast<std::vector<HWND>*>(answered);
    wchar_t className[16];
    if (!IsWindowVisible(window) || GetClassNameW(window, className, 16) == 0 || std::wcscmp(className, L"#32770") != 0 ||
        std::find(done.begin(), done.end(), window) != done.end()) {
        return TRUE;
    }
    done.push_back(window);
    static wchar_t text[32768];
    const int length = GetDlgItemTextW(window, 0xFFFF, text, 32768);  // the box's static text
    static char bytes[4 * 32768];
    const int count = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof bytes, nullptr, nullptr);
    std::string lines(bytes, static_cast<std::size_t>(count));
    for (std::size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; at += 6) lines.replace(at, 1, "\nbox+=");
    std::printf("box=%s\n", lines.c_str());
    std::fflush(stdout);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

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
        std::printf("start-failed=%lu\n", GetLastError());
        std::fflush(stdout);
        return 202;
    }
    std::printf("pid=%04lx\n", process.dwProcessId);
    std::fflush(stdout);
    const bool dismiss = !Environment(L"LAUNCH_DISMISS").empty();
    const DWORD started = GetTickCount(), holdFor = Number(L"LAUNCH_HOLD_MS", INFINITE);
    std::vector<HWND> answered;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        if (dismiss) EnumThreadWindows(process.dwThreadId, Dismiss, reinterpret_cast<LPARAM>(&answered));
        if (held != INVALID_HANDLE_VALUE && GetTickCount() - started >= holdFor) {
            CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        }
    }
    DWORD exitCode = 203;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return static_cast<int>(exitCode);
}
