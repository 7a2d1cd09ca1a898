// The application shell: a windowless desktop application around the main window, and the one
// place where failures are shown to the user.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/shell_text.h"
#include "stamp/startup_settings.h"
#include "win/failure.h"
#include "win/handle.h"

namespace zarn {

// The application title for a program path: the file name up to its first full stop, with every
// character after the first in lower case by the system's case mapping.
std::u16string ApplicationTitle(std::u16string_view programPath);

class TShell final : private TStartReport {
public:
    // Sets up the application: the title from the program file's name and the icon MAINICON.
    // settings: what start-up fixed, for the main window.
    TShell(HINSTANCE instance, const TStartupSettings& settings);

    // Creates the hidden application window, then the hidden main window, whose creation handler
    // runs the start-up dispatch, then runs the message loop until the end request. Every failure
    // is reported here, and the warnings of files that lost characters or a byte: those of the
    // files of the start in one box. Returns the exit code, 0.
    int Run();

private:
    void Guard(const std::function<void()>& work) override;
    void Show() override;
    void CreateApplicationWindow();
    int RunApplication();
    void ReportFailure(std::u16string_view message);
    void ShowBox(const std::u16string& text, UINT icon);
    void RunMessageLoop();

    HINSTANCE instance_;
    TStartupSettings settings_;
    std::u16string title_;
    HICON icon_ = nullptr;
    TWindowHandle applicationWindow_;
    std::vector<TReportEntry> report_;  // of the start's files, in the order of the arguments
};

}  // namespace zarn
