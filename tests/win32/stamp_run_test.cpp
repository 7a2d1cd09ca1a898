// The stamping run's date stamp and the main window, on Windows: every result of the system that
// can fail is looked at.
#include <gtest/gtest.h>

#include "stamp/F01.h"
#include "stamp/stamp_run.h"
#include "win/failure.h"
#include "win/messages.h"

namespace zarn::testing {
namespace {

std::u16string Expected(char16_t separator) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    wsprintfW(text, L",%04d%c%02d%c%02d", now.wYear, separator, now.wMonth, separator, now.wDay);
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

TEST(TodaysStamp, CarriesTheDateThroughTheAnsiCodePage) {
    EXPECT_EQ(Expected(u'/'), TodaysStamp({u'/', GetACP()}));
    EXPECT_EQ(Expected(u'-'), TodaysStamp({u'-', GetACP()}));
}

TEST(TodaysStamp, ACodePageThatCannotConvertIsAFailureNotAnEmptyStamp) {
    try {
        const std::u16string stamp = TodaysStamp({u'/', 54321});  // no such code page
        ADD_FAILURE() << "stamp of " << stamp.size() << " units";
    } catch (const TFailure& failure) {
        EXPECT_EQ(LoadMessage(IDS_CODE_PAGE_INVALID), failure.Text());
    }
}

TEST(MainWindow, AWindowThatCannotBeCreatedIsAFailure) {
    TTFZarn form(GetModuleHandleW(nullptr), {});
    try {
        form.CreateSystemWindow(reinterpret_cast<HWND>(0x1234));  // an owner that is no window
        ADD_FAILURE() << "created";
    } catch (const TFailure& failure) {
        EXPECT_EQ(FillMessage(LoadMessage(IDS_WINDOW_FAILED), {u"TTFZarn", SystemMessage(ERROR_INVALID_WINDOW_HANDLE)}),
                  failure.Text());
    }
    try { form.CreateSystemWindow(nullptr); } catch (const TFailure& f) { std::string t; for (char16_t c : f.Text()) t += c < 128 ? char(c) : '?'; FAIL() << t << " " << f.Text().size(); }
    EXPECT_NE(nullptr, form.Window());
}

}  // namespace
}  // namespace zarn::testing
