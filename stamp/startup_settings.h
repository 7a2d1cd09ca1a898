// The settings that start-up fixes once, before the main window exists, and hands to the
// stamping run as a value.
#pragma once

namespace zarn {

struct TStartupSettings {
    char16_t dateSeparator = u'/';  // U+0000: none
    unsigned ansiCodePage = 0;      // the system's ANSI code page (GetACP)
};

// The user's date separator (a slash when the locale's is not one character) and the ANSI code
// page, as the system reports them now.
TStartupSettings ReadStartupSettings();

}  // namespace zarn
