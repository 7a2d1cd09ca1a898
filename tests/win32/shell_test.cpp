// The application title with the system's case mapping.
#include <gtest/gtest.h>

#include "app/shell.h"

namespace zarn::testing {
namespace {

TEST(ApplicationTitle, Table) {
    struct TCase {
        std::u16string path, title;
    } cases[] = {
        {u"C:\\Tools\\STAMP.EXE", u"Stamp"},
        {u"C:\\Tools\\MyTool.exe", u"Mytool"},
        {u"C:\\Tools\\stamp.exe", u"stamp"},                  // the first character keeps its case
        {u"C:\\Tools\\STAMP-TOOL.OLD.EXE", u"Stamp-tool"},
        {u"C:\\Tools\\x", u"x"},
        {u"C:\\Tools\\.ZARN.EXE", u""},
        {u"C:\\Tools\\\x00C4\x00D6\x00DC.exe", u"\x00C4\x00F6\x00FC"},  // system case mapping beyond ASCII
    };
    for (const TCase& c : cases) EXPECT_EQ(c.title, ApplicationTitle(c.path));
}

}  // namespace
}  // namespace zarn::testing
