// Reading the stored properties of the main window.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "stamp/form.h"
#include "tests/support/main_window_table.h"
#include "win/failure.h"

namespace zarn::testing {
namespace {

using namespace std::string_literals;

const std::u16string kCorrupt = u"corrupt";

std::string CompiledMainWindow() {
    std::ifstream file(ZARN_FORM_BYTES, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The main window's stored properties, as the program must carry them.
TEST(ReadForm, MainWindowMatchesItsTable) {
    const TFormDescription form = ReadForm(CompiledMainWindow(), kCorrupt);
    EXPECT_EQ("TTFZarn", form.className);
    EXPECT_EQ("TFZarn", form.componentName);
    EXPECT_EQ(kMainWindowProperties, form.properties);
}

TEST(ReadForm, EveryValueType) {
    const std::string bytes = "TPF0\x01T\x01" "C"
                              "\x01i\x01\xFE\xFF\xFF\xFF"        // integer -2
                              "\x01s\x02\x02\x00" "a\x00\x42\x30"  // string u"a\x3042"
                              "\x01n\x03\x02id"                    // identifier
                              "\x01" "f\x04" "\x01t\x05"           // false, true
                              "\x01" "e\x06\x01" "A\x01" "B\x00"   // set [A, B]
                              "\x00\x00"s;
    const TFormDescription form = ReadForm(bytes, kCorrupt);
    const std::vector<TFormProperty> expected = {
        {"i", -2}, {"s", u"a\x3042"}, {"n", TIdentifier{"id"}}, {"f", false}, {"t", true}, {"e", TSetValue{"A", "B"}}};
    EXPECT_EQ(expected, form.properties);
}

TEST(ReadForm, CorruptBytesFail) {
    const std::string good = "TPF0\x01T\x01" "C\x01i\x01\x01\x00\x00\x00\x00\x00"s;
    ASSERT_NO_THROW(ReadForm(good, kCorrupt));
    const std::string cases[] = {
        "",                                              // empty
        "TPF1\x01T\x01" "C\x00\x00"s,                    // wrong signature
        "TPF0\x00\x01" "C\x00\x00"s,                     // empty class name
        "TPF0\x01T\x01" "C\x01i\x01\x01\x00\x00"s,       // integer cut short
        "TPF0\x01T\x01" "C\x01i\x07\x00\x00"s,           // unknown value type
        "TPF0\x01T\x01" "C\x01s\x02\x05\x00" "a\x00\x00\x00"s,  // string longer than the bytes
        "TPF0\x01T\x01" "C\x00"s,                        // child list missing
        "TPF0\x01T\x01" "C\x00\x01"s,                    // a child component
        good + "x",                                      // bytes after the end
        "TPF0\x05TT"s,                                   // name longer than the bytes
        "TPF0\x01 \x01" "C\x00\x00"s,                    // a space in a name
    };
    for (const std::string& bytes : cases) {
        try {
            ReadForm(bytes, kCorrupt);
            ADD_FAILURE() << "read: " << ::testing::PrintToString(bytes);
        } catch (const TFailure& failure) {
            EXPECT_EQ(kCorrupt, failure.Text());
        }
    }
}

}  // namespace
}  // namespace zarn::testing
