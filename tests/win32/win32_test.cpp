// The Win32 helpers: system error texts, the string table and filling message templates, handles,
// and the background thread's hand-over.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "win/background_work.h"
#include "win/file_access.h"
#include "win/handle.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn::testing {
namespace {

TEST(SystemMessage, TrimsSpacesLineBreaksAndFullStopsFromTheEnd) {
    for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}) {
        const std::u16string text = SystemMessage(error);
        ASSERT_FALSE(text.empty()) << error;
        EXPECT_GT(text.back(), u' ') << error;
        EXPECT_NE(u'.', text.back()) << error;
    }
}

TEST(SystemMessage, UnknownErrorGivesEmptyText) { EXPECT_EQ(u"", SystemMessage(0x3FFFFFF1)); }

TEST(LoadMessage, StringTableTextsAreVerbatim) {
    struct TCase {
        UINT id;
        std::u16string text;
    } cases[] = {
        {IDS_OPEN_FAILED, u"ファイル %s は開けません。 %s "},  // ends with a space
        {IDS_CREATE_FAILED, u"ファイル \"%s\" を作成できません。%s"},
        {IDS_WRITE_FAILED, u"ストリームへの書き込みエラー"},
        {IDS_READ_FAILED, u"ストリームの読み込みエラー"},
        {IDS_CODE_PAGE_INVALID, u"コード ページが無効です"},
        {IDS_BAD_UTF8, u"ファイル %s は正しい UTF-8 ではありません"},
        {IDS_DATE_INVALID, u"日付に変換できない値が渡されました"},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.text, LoadMessage(c.id)) << c.id;
}

TEST(FillMessage, FillsPlaceholdersInOrder) {
    EXPECT_EQ(u"a X b Y c", FillMessage(u"a %s b %s c", {u"X", u"Y"}));
    EXPECT_EQ(u"a %s", FillMessage(u"a %s", {}));          // nothing to fill with
    EXPECT_EQ(u"100% X", FillMessage(u"100% %s", {u"X"}));  // a lone percent sign stays
}

TEST(FullPath, ExpandsAgainstTheCurrentDirectory) {
    wchar_t current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    std::u16string expected(U16(current, length));
    if (expected.back() != u'\\') expected += u'\\';
    EXPECT_EQ(expected + u"in.csv", FullPath(u"in.csv"));
}

// A path whose full path reaches MAX_PATH goes to the system in the long form, whatever way it was
// written; a shorter one goes as it was written, so the system judges it as given. MAX_PATH counts
// the terminating NUL: 259 units are the most the short form holds, 260 need the long form.
TEST(LongPath, TheLongFormForPathsThatReachMaxPath) {
    const std::u16string deep = std::u16string(130, u'a') + u"\\" + std::u16string(130, u'b') + u"\\in.csv";
    wchar_t current[MAX_PATH];
    const std::u16string here(U16(current, GetCurrentDirectoryW(MAX_PATH, current)));
    const std::u16string hereSlash = here.ends_with(u'\\') ? here : here + u"\\";
    struct TCase {
        const char* what;
        std::u16string path, expected;
    } cases[] = {
        {"short: as written", u"C:/x/../in.csv", u"C:/x/../in.csv"},
        {"short wildcard: as written", u"*.csv", u"*.csv"},
        {"drive", u"C:\\" + deep, u"\\\\?\\C:\\" + deep},
        {"share", u"\\\\server\\share\\" + deep, u"\\\\?\\UNC\\server\\share\\" + deep},
        {"relative", deep, u"\\\\?\\" + hereSlash + deep},
        {"drive-relative", u"C:" + deep, u"\\\\?\\" + FullPath(u"C:") + (FullPath(u"C:").ends_with(u'\\') ? u"" : u"\\") + deep},
        {"already long", u"\\\\?\\C:\\" + deep, u"\\\\?\\C:\\" + deep},
        {"259 units: the most the short form holds", u"C:\\" + std::u16string(256, u'e'), u"C:\\" + std::u16string(256, u'e')},
        {"260 units: one too many", u"C:\\" + std::u16string(257, u'e'), u"\\\\?\\C:\\" + std::u16string(257, u'e')},
        {"259 units on a share", u"\\\\s\\h\\" + std::u16string(253, u'e'), u"\\\\s\\h\\" + std::u16string(253, u'e')},
        {"260 units on a share", u"\\\\s\\h\\" + std::u16string(254, u'e'), u"\\\\?\\UNC\\s\\h\\" + std::u16string(254, u'e')},
        {"forward slashes and dots", u"C:/" + std::u16string(130, u'a') + u"/./" + std::u16string(130, u'b') + u"/x/../in.csv",
         u"\\\\?\\C:\\" + deep},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.expected, LongPath(c.path)) << c.what;
    EXPECT_EQ(u"\\\\?\\UNC\\srv\\s\\x", LongFormOf(u"\\\\srv\\s\\x"));
    EXPECT_EQ(u"\\\\.\\AUX", LongFormOf(u"\\\\.\\AUX"));
}

// A short hold is waited out, anything else is not, and a long hold is given up after about two
// seconds.
TEST(RetryWhileHeld, TriesAgainOnlyWhileAnErrorOfAHoldLasts) {
    struct TCase {
        const char* what;
        DWORD error;
        int failures;  // before a try succeeds; -1: never
        bool succeeds;
        int tries;
    } cases[] = {
        {"succeeds at once", ERROR_SHARING_VIOLATION, 0, true, 1},
        {"held three times", ERROR_SHARING_VIOLATION, 3, true, 4},
        {"locked twice", ERROR_LOCK_VIOLATION, 2, true, 3},
        {"another error: no second try", ERROR_FILE_NOT_FOUND, -1, false, 1},
        {"held for good: given up", ERROR_SHARING_VIOLATION, -1, false, static_cast<int>(std::size(kHoldSleepsMs)) + 1},
    };
    for (const TCase& c : cases) {
        int tries = 0;
        const DWORD started = GetTickCount();
        const bool result = RetryWhileHeld(
            [&] {
                if (c.failures >= 0 && tries++ >= c.failures) return true;
                if (c.failures < 0) ++tries;
                SetLastError(c.error);
                return false;
            },
            {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION});
        EXPECT_EQ(c.succeeds, result) << c.what;
        EXPECT_EQ(c.tries, tries) << c.what;
        if (!c.succeeds) EXPECT_EQ(c.error, GetLastError()) << c.what;
        if (c.failures < 0 && c.error == ERROR_SHARING_VIOLATION) EXPECT_GE(GetTickCount() - started, 1500u) << c.what;
    }
}

// Every handle type has the same move rule: the target closes what it held and takes the
// source's handle; the source is left empty.
TEST(Handle, MovesOwnershipAndClosesWhatItHeld) {
    TFileHandle empty;
    EXPECT_FALSE(empty);
    EXPECT_TRUE(empty.Close());
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    auto open = [&] {
        return TFileHandle(CreateFileW(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    TFileHandle handle = open();
    ASSERT_TRUE(handle);
    TFileHandle moved(std::move(handle));
    EXPECT_FALSE(handle);
    EXPECT_TRUE(moved);

    TFileHandle target = open();
    const HANDLE old = target.Get();
    target = std::move(moved);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(old, &flags)) << "the handle the target held is closed";
    EXPECT_FALSE(moved);
    EXPECT_TRUE(GetHandleInformation(target.Get(), &flags));
    EXPECT_TRUE(target.Close());
    EXPECT_FALSE(target);

    TObjectHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE oldEvent = event.Get();
    event = TObjectHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_FALSE(GetHandleInformation(oldEvent, &flags));
    EXPECT_TRUE(event);
}

// Jobs held three at a time run once each, in the order handed over, on the work's own thread,
// while the caller goes on; a fourth is refused until the oldest has been taken back, and Take
// hands them back oldest first.
TEST(BackgroundWork, RunsJobsInOrderOnItsThreadAndHandsBackTheOldestFirst) {
    struct TJob {
        int number;
        std::atomic<int>* order;  // counts the jobs run
        HANDLE gate;              // a job waits for it to open
        int ranAs = -1;           // the count when it ran
        DWORD thread = 0;
        void Run() noexcept {
            WaitForSingleObject(gate, INFINITE);
            ranAs = (*order)++;
            thread = GetCurrentThreadId();
        }
    };
    std::atomic<int> order{0};
    const TObjectHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    TBackgroundWork<TJob, 3> work;
    for (int number = 0; number < 3; ++number) ASSERT_TRUE(work.Begin({number, &order, gate.Get()})) << number;
    EXPECT_FALSE(work.Begin({3, &order, gate.Get()})) << "three are held";
    EXPECT_EQ(0, order) << "the jobs wait for the gate while the caller goes on";
    SetEvent(gate.Get());
    std::vector<int> numbers, ranAs;
    for (int next = 3; next < 8; ++next) {
        const std::optional<TJob> oldest = work.Take();
        ASSERT_TRUE(oldest);
        numbers.push_back(oldest->number);
        ranAs.push_back(oldest->ranAs);
        EXPECT_NE(GetCurrentThreadId(), oldest->thread);
        EXPECT_TRUE(work.Begin({next, &order, gate.Get()})) << next;
    }
    work.Settle();
    EXPECT_EQ(8, order) << "every job held has run after Settle";
    while (const std::optional<TJob> oldest = work.Take()) {
        numbers.push_back(oldest->number);
        ranAs.push_back(oldest->ranAs);
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}), numbers);
    EXPECT_EQ(numbers, ranAs) << "run in the order handed over";
    EXPECT_FALSE(work.Take()) << "none held";
}

}  // namespace
}  // namespace zarn::testing
