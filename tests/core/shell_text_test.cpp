// The application title's stem and the full-stop rule of failure reports.
#include <gtest/gtest.h>

#include "app/shell_text.h"

namespace zarn::testing {
namespace {

TEST(TitleStem, Table) {
    struct TCase {
        std::u16string path, stem;
    } cases[] = {
        {u"C:\\Tools\\STAMP.EXE", u"STAMP"},
        {u"C:\\Tools\\MyTool.exe", u"MyTool"},
        {u"C:\\Tools\\STAMP-TOOL.OLD.EXE", u"STAMP-TOOL"},  // cut at the first full stop
        {u"C:\\Tools\\x", u"x"},                            // no full stop
        {u"C:\\Tools\\.hidden.exe", u""},                   // begins with a full stop
        {u"C:\\a.b\\prog.exe", u"prog"},                    // only the name counts
        {u"zarn.exe", u"zarn"},                             // no backslash
        {u"C:zarn.exe", u"C:zarn"},                         // a colon does not count here
    };
    for (const TCase& c : cases) EXPECT_EQ(c.stem, TitleStem(c.path));
}

TEST(ReportText, FullStopRule) {
    struct TCase {
        std::u16string message, shown;
    } cases[] = {
        {u"", u""},                                    // empty stays empty
        {u"done.", u"done."},                          // already ends in a full stop
        {u"space ", u"space "},
        {u"line\r", u"line\r"},
        {u"dash-", u"dash-"},                          // U+002D is below the full stop
        {u"comma,", u"comma,"},
        {u"letter", u"letter."},
        {u"digit9", u"digit9."},
        {u"slash/", u"slash/."},                       // U+002F is above it
        {u"\x6587\x3002", u"\x6587\x3002."},           // ideographic full stop U+3002
        {u"\x30A8\x30E9\x30FC", u"\x30A8\x30E9\x30FC."},  // ends in U+30FC
    };
    for (const TCase& c : cases) EXPECT_EQ(c.shown, ReportText(c.message));
}

// One box for a start: failures first (each with its full stop where it needs one), then warnings
// as they are, each group in the order of the arguments; past ten entries, a line counts the rest.
TEST(StartReportText, Table) {
    const std::u16string more = u"+%s";
    const TReportEntry a{true, u"open a"}, b{true, u"create b."}, w{false, u"warn w\x3002"}, none{true, u""};
    std::vector<TReportEntry> twelve;
    std::u16string firstTen;
    for (int i = 0; i < 12; ++i) {
        twelve.push_back({true, u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i))});
        if (i < 10) firstTen += (i == 0 ? u"" : u"\n\n") + twelve.back().text + u".";
    }
    struct TCase {
        const char* what;
        std::vector<TReportEntry> entries;
        std::u16string text;
    } cases[] = {
        {"one failure: today's text", {a}, u"open a."},
        {"one warning: as it is", {w}, u"warn w\x3002"},
        {"a failure with no text", {none}, u""},
        {"failures in order", {a, b}, u"open a.\n\ncreate b."},
        {"a warning before a failure comes after it", {w, a, b}, u"open a.\n\ncreate b.\n\nwarn w\x3002"},
        {"twelve failures: ten, and the rest counted", twelve, firstTen + u"\n\n+2"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.text, StartReportText(c.entries, more)) << c.what;
}

}  // namespace
}  // namespace zarn::testing
