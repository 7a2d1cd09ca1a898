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

}  // namespace
}  // namespace zarn::testing
