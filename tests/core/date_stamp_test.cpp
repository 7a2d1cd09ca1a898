// Rendering the date stamp.
#include <gtest/gtest.h>

#include "stamp/date_stamp.h"

namespace zarn::testing {
namespace {

TEST(RenderDateStamp, Table) {
    struct TCase {
        int year, month, day;
        char16_t separator;
        std::u16string stamp;
    } cases[] = {
        {2014, 3, 5, u'/', u",2014/03/05"},   // leading zeros for month and day
        {2026, 12, 10, u'.', u",2026.12.10"},
        {2026, 12, 10, u'-', u",2026-12-10"},
        {2026, 12, 10, 0, u",20261210"},      // no separator
        {5, 1, 31, u'/', u",0005/01/31"},     // year padded to four digits
        {9999, 12, 31, u'\x5E74', u",9999\x5E74" u"12\x5E74" u"31"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.stamp, RenderDateStamp(c.year, c.month, c.day, c.separator).value());
}

TEST(RenderDateStamp, YearOutsideOneToNineThousandNineHundredNinetyNineFails) {
    EXPECT_FALSE(RenderDateStamp(0, 1, 1, u'/'));
    EXPECT_FALSE(RenderDateStamp(10000, 1, 1, u'/'));
    EXPECT_TRUE(RenderDateStamp(1, 1, 1, u'/'));
}

}  // namespace
}  // namespace zarn::testing
