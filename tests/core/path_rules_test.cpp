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
        {u"a\\prog.exe", u"a"},                            // a relative folder
        {u"\\\\server\\share\\zarn.exe", u"\\\\server\\share"},        // a share's root
        {u"\\\\server\\share\\tools\\zarn.exe", u"\\\\server\\share\\tools"},
        {u"\\\\?\\UNC\\server\\share\\zarn.exe", u"\\\\?\\UNC\\server\\share"},  // the long form of a share
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
        {u"C:\\Tools", u"sub/in.csv", u"C:\\Tools\\in.csv"},         // a forward slash ends it too
        {u"C:\\Tools", u"../local/loc.csv", u"C:\\Tools\\loc.csv"},  // never the input itself
        {u"C:\\Tools", u"Z:/data/loc.csv", u"C:\\Tools\\loc.csv"},
        {u"C:\\Tools", u"D:\\data/sub\\x.csv", u"C:\\Tools\\x.csv"},  // separators mixed
        {u"C:\\Tools", u"\\\\server\\share\\in.csv", u"C:\\Tools\\in.csv"},
        {u"C:\\Tools", u"D:\\a.b\\name", u"C:\\Tools\\name"},        // dots in folders play no part
        {u"C:\\Tools", u"D:\\x\\v1.2.csv.", u"C:\\Tools\\v1.2.csv."},
        {u"C:\\Tools", u"D:\\x\\", u"C:\\Tools\\"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.output, OutputPath(c.folder, c.input)) << Narrow(c.input);
}

}  // namespace
}  // namespace zarn::testing
