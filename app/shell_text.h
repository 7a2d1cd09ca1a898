// Texts of the application shell. Platform-free.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// The program file's name without folder and from its first full stop on: "C:\x\STAMP.EXE" gives
// "STAMP", "a.b.exe" gives "a". The application title is this with every character after the
// first in lower case (done with the system's case mapping on the Win32 side).
std::u16string TitleStem(std::u16string_view programPath);

// The text a failure report shows: one full stop appended when the text is not empty and its
// last UTF-16 code unit is above U+002E.
std::u16string ReportText(std::u16string_view message);

// What one start of several files has to tell: a failure's or a warning's text, for the file of
// an argument.
struct TReportEntry {
    bool failure;
    std::u16string text;
};

// The most entries that one report's box shows; a longer report ends in a line that counts the rest.
inline constexpr std::size_t kShownEntries = 10;

// The text of a start's one box: the failures in the order of the arguments, each as ReportText
// shows it, then the warnings in the same order, as they are; a blank line between two. Past
// kShownEntries, more (a text with one "%s" placeholder) filled with how many more there are.
// A report of one entry is that entry's text alone.
std::u16string StartReportText(const std::vector<TReportEntry>& entries, std::u16string_view more);

}  // namespace zarn
