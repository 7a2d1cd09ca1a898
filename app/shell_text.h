// Texts of the application shell. Platform-free.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The program file's name without folder and from its first full stop on: "C:\x\STAMP.EXE" gives
// "STAMP", "a.b.exe" gives "a". The application title is this with every character after the
// first in lower case (done with the system's case mapping on the Win32 side).
std::u16string TitleStem(std::u16string_view programPath);

// The text a failure report shows: one full stop appended when the text is not empty and its
// last UTF-16 code unit is above U+002E.
std::u16string ReportText(std::u16string_view message);

}  // namespace zarn
