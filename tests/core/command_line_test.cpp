// Splitting the command line.
#include <gtest/gtest.h>

#include "stamp/command_line.h"
#include "tests/support/printing.h"

namespace zarn::testing {
namespace {

TEST(SplitCommandLine, Table) {
    struct TCase {
        std::u16string afterProgram;  // follows "zarn.exe "
        std::size_t count;
        std::u16string first;
    } cases[] = {
        {u"data.csv", 1, u"data.csv"},
        {u"\"D:\\My Data\\in.csv\"", 1, u"D:\\My Data\\in.csv"},
        {u"\"\" data.csv", 1, u"data.csv"},                 // an empty pair is no argument
        {u"\"\" \"\"", 0, u""},
        {u"\"", 0, u""},                                      // a lone quote at the end
        {u"\" ", 1, u" "},                                    // an unclosed stretch holding a space
        {u"a\"b c\"d", 1, u"ab cd"},
        {u"\"a\"\"b\"", 1, u"ab"},                            // a doubled quote adds nothing
        {u"\"C:\\dir\\\"x", 1, u"C:\\dir\\x"},                // no escape: backslash before a quote
        {u"\"not closed", 1, u"not closed"},
        {u"data.csv other.csv", 2, u"data.csv"},
        {u"\tdata.csv\r\n", 1, u"data.csv"},
        {u"", 0, u""},
        {u"   \x01\x1F", 0, u""},                             // only separators
        {u"\x3000" "a\x00A0", 1, u"\x3000" "a\x00A0"},        // U+3000 and U+00A0 are ordinary
        {std::u16string(u"a\0b", 3), 1, u"a"},                 // U+0000 ends the text
        {u"a \"\" b", 2, u"a"},                                // an empty pair between arguments
    };
    for (const TCase& c : cases) {
        const TArguments arguments = SplitCommandLine(u"zarn.exe " + c.afterProgram);
        EXPECT_EQ(c.count, arguments.count) << Narrow(c.afterProgram);
        EXPECT_EQ(c.first, arguments.first) << Narrow(c.afterProgram);
    }
}

TEST(SplitCommandLine, QuotedProgramRunsIntoFollowingText) {
    EXPECT_EQ(0u, SplitCommandLine(u"\"C:\\Program Files\\zarn.exe\"data.csv").count);
    const TArguments arguments = SplitCommandLine(u"\"C:\\Program Files\\zarn.exe\" \"C:\\a b\\c.csv\"");
    EXPECT_EQ(1u, arguments.count);
    EXPECT_EQ(u"C:\\a b\\c.csv", arguments.first);
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
