#include "app/shell.h"

#include <algorithm>
#include <vector>

#include "app/shell_text.h"
#include "stamp/F01.h"
#include "win/failure.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"
#include "win/window.h"

namespace zarn {

namespace {

// From the program path as a buffer of 256 units holds it: at most 255 units and the terminator.
std::u16string ProgramTitle() { return ApplicationTitle(std::u16string_view(ProgramPath()).substr(0, 255)); }

POINT Centre(const RECT& rect) { return {rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2}; }

void MoveWithoutSizing(HWND window, POINT position) {
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

struct TDisabling {
    HWND active;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM context) {
    auto& disabling = *reinterpret_cast<TDisabling*>(context);
    if (window != disabling.active && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        disabling.disabled.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::u16string ApplicationTitle(std::u16string_view programPath) {
    std::u16string title = TitleStem(programPath);
    if (!title.empty()) {
        wchar_t* first = Wide(title.data());
        CharLowerW(CharNextW(first));  // in place, up to the terminating NUL
    }
    return title;
}

TShell::TShell(HINSTANCE instance, const TStartupSettings& settings)
    : instance_(instance), settings_(settings), title_(ProgramTitle()) {
    icon_ = LoadIconW(instance, L"MAINICON");
}

int TShell::Run() {
    try {
        CreateApplicationWindow();
    } catch (const TFailure& failure) {
        ReportFailure(failure.Text());
        return 0;
    }
    return RunApplication();
}

// Hidden, no size, at the centre of the primary screen.
void TShell::CreateApplicationWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance_;
    windowClass.hIcon = icon_;
    windowClass.lpszClassName = L"TZarnApplication";
    const POINT centre{GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
    applicationWindow_ = CreateClassWindow(windowClass, WS_EX_TOOLWINDOW, title_,
                                           WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                                           RECT{centre.x, centre.y, centre.x, centre.y}, nullptr);
}

int TShell::RunApplication() {
    const HWND application = applicationWindow_.Get();
    try {
        // The main window, not the application window, would stand on the task bar: the
        // application window keeps its tool-window style and loses its text. Showing the main
        // window is off: nothing below shows it.
        SetWindowTextW(application, L"");

        TTFZarn form(instance_, settings_, *this);
        try {
            form.DoCreate();
        } catch (const TFailure& failure) {
            ReportFailure(failure.Text());
            PostQuitMessage(0);
        } catch (...) {
            ReportFailure(u"");
            PostQuitMessage(0);
        }
        form.CreateSystemWindow(application);
        SetWindowLongW(application, GWL_EXSTYLE, GetWindowLongW(application, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
        // Nothing is shown: the stored properties do not ask for it and showing is switched off.
        RunMessageLoop();
    } catch (const TFailure& failure) {
        ReportFailure(failure.Text());
    } catch (...) {
        ReportFailure(u"");
    }
    return 0;
}

void TShell::RunMessageLoop() {
    for (;;) {
        MSG message;
        // Mouse messages first, then any other.
        if (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
            PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return;
            try {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            } catch (const TFailure& failure) {
                ReportFailure(failure.Text());
            } catch (...) {
                ReportFailure(u"");
            }
        } else {
            WaitMessage();
        }
    }
}

void TShell::Guard(const std::function<void()>& work) {
    try {
        work();
    } catch (const TWarning& warning) {
        report_.push_back({false, warning.Text()});
    } catch (const TFailure& failure) {
        report_.push_back({true, failure.Text()});
    } catch (...) {
        report_.push_back({true, u""});
    }
}

// With the stop icon where a file failed, else the warning icon.
void TShell::Show() {
    if (report_.empty()) return;
    const bool failed = std::any_of(report_.begin(), report_.end(), [](const TReportEntry& entry) { return entry.failure; });
    const std::u16string text = StartReportText(report_, LoadMessage(IDS_MORE_MESSAGES));
    report_.clear();
    ShowBox(text, failed ? MB_ICONERROR : MB_ICONWARNING);
}

// The failure's text (and a full stop where the text needs one), with the stop icon.
void TShell::ReportFailure(std::u16string_view message) { ShowBox(ReportText(message), MB_ICONERROR); }

// Shows one message box with the text, the title as caption, one OK button and the icon, owned by
// the active window, with the thread's other windows disabled meanwhile. Returns when the user has
// dismissed it.
void TShell::ShowBox(const std::u16string& text, UINT icon) {
    const HWND application = applicationWindow_.Get();
    HWND active = GetActiveWindow();
    if (active == nullptr) active = GetLastActivePopup(application);
    const HWND owner = active != nullptr ? active : application;

    // Bring the application window to the active window's monitor, so the box shows there.
    RECT remembered{};
    bool moved = false;
    const HMONITOR activeMonitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    if (activeMonitor != MonitorFromWindow(application, MONITOR_DEFAULTTONEAREST)) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetWindowRect(application, &remembered) && GetMonitorInfoW(activeMonitor, &monitor)) {
            MoveWithoutSizing(application, Centre(monitor.rcMonitor));
            moved = true;
        }
    }
    TDisabling disabling{active, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabling));

    MessageBoxW(owner, Wide(text), Wide(title_), MB_OK | icon);

    if (moved) MoveWithoutSizing(application, Centre(remembered));
    for (HWND window : disabling.disabled) EnableWindow(window, TRUE);
    SetActiveWindow(active);
}

}  // namespace zarn
