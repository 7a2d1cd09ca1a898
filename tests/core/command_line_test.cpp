// Splitting the command line.
#include <gtest/gtest.h>

#include "stamp/command_line.h"
#include "tests/support/printing.h"

namespace zarn::testing {
namespace {

TEST(SplitCommandLine, Table) {
    struct TCase {
        std::u16string afterProgram;  // follows "zarn.exe "
        std::vector<std::u16string> arguments;
    } cases[] = {
        {u"data.csv", {u"data.csv"}},
        {u"\"D:\\My Data\\in.csv\"", {u"D:\\My Data\\in.csv"}},
        {u"\"\" data.csv", {u"data.csv"}},                 // an empty pair is no argument
        {u"\"\" \"\"", {}},
        {u"\"", {}},                                         // a lone quote at the end
        {u"\" ", {u" "}},                                    // an unclosed stretch holding a space
        {u"a\"b c\"d", {u"ab cd"}},
        {u"\"a\"\"b\"", {u"ab"}},                            // a doubled quote adds nothing
        {u"\"C:\\dir\\\"x", {u"C:\\dir\\x"}},                // no escape: backslash before a quote
        {u"\"not closed", {u"not closed"}},
        {u"data.csv other.csv", {u"data.csv", u"other.csv"}},
        {u"\tdata.csv\r\n", {u"data.csv"}},
        {u"", {}},
        {u"   \x01\x1F", {}},                                // only separators
        {u"\x3000" "a\x00A0", {u"\x3000" "a\x00A0"}},        // U+3000 and U+00A0 are ordinary
        {std::u16string(u"a\0b", 3), {u"a"}},                 // U+0000 ends the text
        {u"a \"\" b", {u"a", u"b"}},                          // an empty pair between arguments
        {u"\"C:\\a b\\1.csv\" \"D:\\2.csv\" c.csv", {u"C:\\a b\\1.csv", u"D:\\2.csv", u"c.csv"}},  // a selection
        {u"a\" b", {u"a b"}},                                 // a last unclosed stretch ends the text
    };
    for (const TCase& c : cases) {
        const std::vector<std::u16string> arguments = SplitCommandLine(u"zarn.exe " + c.afterProgram);
        EXPECT_EQ(c.arguments, arguments) << Narrow(c.afterProgram);
    }
}

// Explorer's longest command line, 32,767 units, of many quoted paths: every one of them.
TEST(SplitCommandLine, EveryArgumentOfTheLongestCommandLine) {
    std::u16string line = u"\"C:\\Tools\\zarn.exe\"";
    std::vector<std::u16string> expected;
    for (int i = 0; line.size() < 32767 - 80; ++i) {
        std::u16string path = u"C:\\Users\\\x5C71\x7530\\data " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"\\";
        for (int k = i; k > 0; k /= 10) path += static_cast<char16_t>(u'0' + k % 10);
        path += u".csv";
        line += u" \"" + path + u"\"";
        expected.push_back(path);
    }
    EXPECT_GT(expected.size(), 500u);
    EXPECT_EQ(expected, SplitCommandLine(line));
}

TEST(SplitCommandLine, QuotedProgramRunsIntoFollowingText) {
    EXPECT_TRUE(SplitCommandLine(u"\"C:\\Program Files\\zarn.exe\"data.csv").empty());
    EXPECT_EQ((std::vector<std::u16string>{u"C:\\a b\\c.csv"}),
              SplitCommandLine(u"\"C:\\Program Files\\zarn.exe\" \"C:\\a b\\c.csv\""));
}

TEST(NextArgument, StopsOnTheSeparatorThatEndedTheArgument) {
    std::size_t pos = 0;
    EXPECT_EQ(u"ab", NextArgument(u"  ab cd", pos));
    EXPECT_EQ(4u, pos);
    EXPECT_EQ(u"cd", NextArgument(u"  ab cd", pos));
    EXPECT_EQ(u"", NextArgument(u"  ab cd", pos));
}

}  // namespace
}  // namespace zarn::testing
