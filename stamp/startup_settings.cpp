#include "stamp/startup_settings.h"

#include <windows.h>

namespace zarn {

TStartupSettings ReadStartupSettings() {
    TStartupSettings settings;
    // Room for one character and the terminator: a longer separator fails the call.
    wchar_t separator[2];
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SDATE, separator, 2) > 0) {
        settings.dateSeparator = static_cast<char16_t>(separator[0]);
    }
    settings.ansiCodePage = GetACP();
    return settings;
}

}  // namespace zarn
