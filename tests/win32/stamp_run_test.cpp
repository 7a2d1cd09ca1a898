// The stamping run's date stamp and the main window, on Windows: every result of the system that
// can fail is looked at.
#include <gtest/gtest.h>

#include "stamp/F01.h"
#include "stamp/stamp_run.h"
#include "win/failure.h"
#include "win/messages.h"

namespace zarn::testing {
namespace {

// The separator as the ANSI code page gives it back: through its 8-bit form and back.
std::u16string ThroughCodePage(char16_t separator) {
    char bytes[8];
    const int count = WideCharToMultiByte(GetACP(), 0, reinterpret_cast<const wchar_t*>(&separator), 1, bytes, 8, nullptr, nullptr);
    wchar_t back[8];
    const int units = MultiByteToWideChar(GetACP(), 0, bytes, count, back, 8);
    return std::u16string(reinterpret_cast<const char16_t*>(back), static_cast<std::size_t>(units));
}

// The stamp for a day, with the separator as written in it.
std::u16string StampOf(const SYSTEMTIME& day, const std::u16string& separator) {
    wchar_t digits[16];
    wsprintfW(digits, L"%04d|%02d|%02d", day.wYear, day.wMonth, day.wDay);
    std::u16string stamp = u",";
    for (const wchar_t* p = digits; *p != 0; ++p) {
        if (*p == L'|') stamp += separator;
        else stamp += static_cast<char16_t>(*p);
    }
    return stamp;
}

// The date goes through the ANSI code page and back: a separator that the code page holds comes
// back as itself, one that it cannot hold as the code page's substitute, in both places. A run
// across midnight may give either day.
TEST(TodaysStamp, CarriesTheDateThroughTheAnsiCodePage) {
    struct TCase {
        const char* what;
        char16_t separator;
        bool held;  // every code page holds it
    } cases[] = {
        {"slash", u'/', true},
        {"hyphen", u'-', true},
        {"full stop", u'.', true},
        {"a snowman, which no ANSI code page holds", u'\x2603', false},
        {"a fraction slash, best fitted where the code page has a fit", u'\x2044', false},
    };
    for (const TCase& c : cases) {
        const std::u16string back = ThroughCodePage(c.separator);
        if (c.held) EXPECT_EQ(std::u16string(1, c.separator), back) << c.what;
        else EXPECT_NE(std::u16string(1, c.separator), back) << c.what << ": the substitution runs";
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        const std::u16string stamp = TodaysStamp({c.separator, GetACP()});
        GetLocalTime(&after);
        EXPECT_TRUE(stamp == StampOf(before, back) || stamp == StampOf(after, back)) << c.what;
    }
}

TEST(TodaysStamp, ACodePageThatCannotConvertIsAFailureNotAnEmptyStamp) {
    try {
        const std::u16string stamp = TodaysStamp({u'/', 54321});  // no such code page
        ADD_FAILURE() << "stamp of " << stamp.size() << " units";
    } catch (const TFailure& failure) {
        EXPECT_EQ(LoadMessage(IDS_CODE_PAGE_INVALID), failure.Text());
    }
}

// A report that lets what the work raises go on.
struct TPassingReport final : TStartReport {
    void Guard(const std::function<void()>& work) override { work(); }
    void Show() override {}
};

TEST(MainWindow, AWindowThatCannotBeCreatedIsAFailure) {
    TPassingReport report;
    TTFZarn form(GetModuleHandleW(nullptr), {}, report);
    try {
        form.CreateSystemWindow(reinterpret_cast<HWND>(0x1234));  // an owner that is no window
        ADD_FAILURE() << "created";
    } catch (const TFailure& failure) {
        EXPECT_EQ(FillMessage(LoadMessage(IDS_WINDOW_FAILED), {u"TTFZarn", SystemMessage(ERROR_INVALID_WINDOW_HANDLE)}),
                  failure.Text());
    }
}

TEST(MainWindow, IsCreatedHiddenWithoutAnOwner) {
    TPassingReport report;
    TTFZarn form(GetModuleHandleW(nullptr), {}, report);
    form.CreateSystemWindow(nullptr);
    ASSERT_NE(nullptr, form.Window());
    EXPECT_FALSE(IsWindowVisible(form.Window()));
}

}  // namespace
}  // namespace zarn::testing
