// The folder rule and the output path.
#include <gtest/gtest.h>

#include "stamp/path_rules.h"
#include "tests/support/printing.h"

namespace zarn::testing {
namespace {

TEST(FolderOf, Table) {
    struct TCase {
        std::u16string path, folder;
    } cases[] = {
        {u"C:\\Tools\\prog.exe", u"C:\\Tools"},
        {u"C:\\prog.exe", u"C:\\"},                          // a drive root keeps its backslash
        {u"\\\\server\\share\\prog.exe", u"\\\\server\\share"},
        {u"C:prog.exe", u"C:"},
        {u"\\prog.exe", u"\\"},
        {u"prog.exe", u""},
        {u"C:/Tools/prog.exe", u"C:"},                       // a forward slash does not count
        {u"C:\\a\\\\prog.exe", u"C:\\a\\\\"},                // a backslash after a backslash stays
    };
    for (const TCase& c : cases) EXPECT_EQ(c.folder, FolderOf(c.path)) << Narrow(c.path);
}

TEST(OutputPath, Table) {
    struct TCase {
        std::u16string folder, input, output;
    } cases[] = {
        {u"C:\\Tools", u"D:\\data\\in.csv", u"C:\\Tools\\in.csv"},
        {u"C:\\", u"in.csv", u"C:\\\\in.csv"},                      // drive root: two backslashes
        {u"C:\\Tools", u"D:in.csv", u"C:\\Tools\\in.csv"},           // a colon ends the folder too
        {u"C:\\Tools", u"sub/in.csv", u"C:\\Tools\\sub/in.csv"},     // a forward slash does not
        {u"C:\\Tools", u"D:\\a.b\\name", u"C:\\Tools\\name"},        // dots in folders play no part
        {u"C:\\Tools", u"D:\\x\\v1.2.csv.", u"C:\\Tools\\v1.2.csv."},
        {u"C:\\Tools", u"D:\\x\\", u"C:\\Tools\\"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.output, OutputPath(c.folder, c.input)) << Narrow(c.input);
}

}  // namespace
}  // namespace zarn::testing
