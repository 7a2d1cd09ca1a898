// Record ends by quote parity and line splitting, on decoded text.
#include <gtest/gtest.h>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"

namespace zarn::testing {
namespace {

using namespace std::string_literals;

struct TCase {
    const char* name;
    std::string input;     // ANSI bytes (Latin-1)
    std::string expected;  // output bytes, stamp ",S"
};

class RecordStamper : public ::testing::TestWithParam<TCase> {};

TEST_P(RecordStamper, StampsRecordEnds) {
    TLatin1CodePage ansi;
    TUtf8CodePage utf8(true);
    TPlainAnsiEncoder plain(ansi);  // the plain code pages alone: everything encoded by the code page
    for (std::size_t most : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
        TMemorySource source(GetParam().input, most, 7);
        TMemorySink sink;
        StampText(source, {{plain, utf8}, {plain, utf8}}, u",S", sink);
        EXPECT_EQ(GetParam().expected, sink.Bytes()) << "reads of up to " << most;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordStamper, ::testing::Values(
    // Three lines without quotes each end a record; the header too.
    TCase{"Plain", "h\r\na,b\r\nc", "h,S\r\na,b,S\r\nc,S\r\n"},
    // An empty file has no lines and gives no bytes.
    TCase{"Empty", "", ""},
    // A quoted line break: the first line (one quote) stays open, the second closes the record.
    TCase{"QuotedBreak", "1,\"a\nb\",2\n3", "1,\"a\r\nb\",2,S\r\n3,S\r\n"},
    // 3 quotes then 1 quote: the second line ends the record with a count of 4.
    TCase{"ThreeThenOne", "\"\"\"\n\"\n", "\"\"\"\r\n\",S\r\n"},
    // A doubled quote inside a field keeps the parity even.
    TCase{"DoubledQuote", "\"a\"\"b\"\n", "\"a\"\"b\",S\r\n"},
    // Quotes that never balance leave every later line unstamped.
    TCase{"NeverClosed", "\"a\nb\nc\n", "\"a\r\nb\r\nc\r\n"},
    // Empty lines inside an open field stay empty; after it closes each becomes the stamp alone.
    TCase{"EmptyLines", "\"\n\n\"\n\n\n", "\"\r\n\r\n\",S\r\n,S\r\n,S\r\n"},
    // Typographic (U+201C) and fullwidth (U+FF02) quotes do not count; each line is a record. The
    // code page's best fit of the fullwidth quote, a double quote, would open a field in the
    // output: it is written as "?", as is the fullwidth comma (U+FF0C), whose fit would add one.
    TCase{"OtherQuotes", "\xFF\xFE\x1C\x20" "a\0\n\0" "\x02\xFF" "b\0\n\0" "1\0\x0C\xFF" "2\0"s, "?a,S\r\n?b,S\r\n1?2,S\r\n"},
    // CR, LF and CR LF each end one line; LF CR is two line ends with an empty line between.
    TCase{"LineEnds", "a\rb\r\nc\nd\n\re", "a,S\r\nb,S\r\nc,S\r\nd,S\r\n,S\r\ne,S\r\n"},
    // CR CR LF is an empty line between two.
    TCase{"CrCrLf", "a\r\r\nb", "a,S\r\n,S\r\nb,S\r\n"},
    // A break at the very end adds no empty line; two breaks add one.
    TCase{"TrailingBreaks", "a\r\n\r\n", "a,S\r\n,S\r\n"},
    // A zero byte is a character of its line, kept and written; every record after it is stamped.
    TCase{"ZeroInALine", "a,1\r\nb,2\0junk\r\nc,3\r\n"s, "a,1,S\r\nb,2\0junk,S\r\nc,3,S\r\n"s},
    // A zero byte at the start of a line, and one alone after a CR, make lines of their own.
    TCase{"ZeroStartsALine", "a\n\0b"s, "a,S\r\n\0b,S\r\n"s},
    TCase{"ZeroAfterCr", "\r\0\n"s, ",S\r\n\0,S\r\n"s},
    // Quotes after a zero byte count: the field opened before it closes after it.
    TCase{"QuoteAfterZero", "\"a\0\n\"\n"s, "\"a\0\r\n\",S\r\n"s}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zarn::testing
