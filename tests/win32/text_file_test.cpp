// Files and code pages on Windows: the input, the output through a temporary file, and the
// streaming pipeline with the system's own ANSI code page against the whole-file model.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "stamp/record_stamper.h"
#include "tests/support/fake_code_pages.h"
#include "tests/support/memory_io.h"
#include "tests/support/printing.h"
#include "tests/support/stamping_model.h"
#include "textfile/cached_code_page.h"
#include "textfile/temporary_files.h"
#include "textfile/text_file.h"
#include "textfile/win32_code_page.h"
#include "win/failure.h"
#include "win/file_access.h"
#include "win/handle.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn::testing {
namespace {

std::u16string ToU16(const std::wstring& text) { return std::u16string(U16(text.data(), text.size())); }

// A new empty folder under the temporary folder, removed with its files (and empty folders) at
// the end.
class TTempFolder {
public:
    TTempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static unsigned serial = 0;
        do {  // process ids come back: a folder of an earlier run may be there
            path_ = ToU16(base) + u"zarn-test-" + ToU16(std::to_wstring(GetCurrentProcessId())) + u"-" +
                    ToU16(std::to_wstring(++serial));
        } while (!CreateDirectoryW(Wide(path_), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    }
    ~TTempFolder() {
        for (const std::u16string& name : Files()) {
            SetFileAttributesW(Wide(path_ + u"\\" + name), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(Wide(path_ + u"\\" + name))) RemoveDirectoryW(Wide(path_ + u"\\" + name));
        }
        RemoveDirectoryW(Wide(path_));
    }
    std::u16string Path(std::u16string_view name) const { return path_ + u"\\" + std::u16string(name); }
    std::vector<std::u16string> Files() const {
        std::vector<std::u16string> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(Wide(path_ + u"\\*"), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::u16string name = ToU16(found.cFileName);
            if (name != u"." && name != u"..") names.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

private:
    std::u16string path_;
};

void WriteBytes(const std::u16string& path, const std::string& bytes) {
    TFileHandle file(CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::string ReadBytes(const std::u16string& path) {
    TFileHandle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<absent>";
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

std::u16string CreateMessage(const std::u16string& path, DWORD error) {
    return FillMessage(LoadMessage(IDS_CREATE_FAILED), {path, SystemMessage(error)});
}

TEST(InputFile, MissingFileFailsWithTheOpenMessage) {
    TTempFolder folder;
    try {
        TInputFile input(folder.Path(u"missing.csv"));
        FAIL() << "opened";
    } catch (const TFailure& failure) {
        EXPECT_EQ(FillMessage(LoadMessage(IDS_OPEN_FAILED), {folder.Path(u"missing.csv"), SystemMessage(ERROR_FILE_NOT_FOUND)}),
                  failure.Text());
    }
}

// Reads ahead while the caller works, in the buffer it names: the bytes come in order, also when
// the next read names another buffer or the file is closed with a read ahead pending.
TEST(InputFile, ReadsAheadIntoTheNamedBuffer) {
    TTempFolder folder;
    const std::u16string path = folder.Path(u"ahead.csv");
    std::string content;
    for (int i = 0; content.size() < 5000; ++i) content += std::to_string(i) + ",";
    WriteBytes(path, content);
    struct TCase {
        const char* what;
        std::size_t piece;
        bool sameBuffer;  // the read names the buffer read ahead
        bool twice;       // a second read ahead, into the third buffer, before the read
    } cases[] = {
        {"pieces read ahead", 700, true, false},
        {"whole file in one piece, then the end read ahead", 8192, true, false},
        {"another buffer than the one read ahead", 700, false, false},
        {"a second read ahead before the read", 700, true, true},
    };
    // Work on what was read ahead: what it saw, and on which thread.
    struct TSeen final : TPieceWork {
        char* buffer = nullptr;
        std::string bytes;
        DWORD thread = 0;
        void Run(std::size_t count) noexcept override {
            bytes.assign(buffer, count);
            thread = GetCurrentThreadId();
        }
    };
    for (const TCase& c : cases) {
        TInputFile input(path);
        std::vector<char> buffers[3] = {std::vector<char>(c.piece), std::vector<char>(c.piece), std::vector<char>(c.piece)};
        std::string got;
        TSeen works[2], refused;
        for (unsigned turn = 0;; ++turn) {
            char* buffer = buffers[c.sameBuffer ? turn % 2 : turn % 3].data();
            const std::size_t count = input.Read(buffer, c.piece);
            got.append(buffer, count);
            TSeen& work = works[turn % 2];
            if (turn > 0 && buffer == work.buffer) {  // read ahead into this buffer: worked on there
                EXPECT_EQ(std::string(buffer, count), work.bytes) << c.what << ", turn " << turn;
                EXPECT_NE(GetCurrentThreadId(), work.thread) << c.what << ", turn " << turn;
            }
            if (count == 0) break;
            TSeen& next = works[(turn + 1) % 2];
            next = TSeen();
            next.buffer = buffers[(turn + 1) % 2].data();
            input.ReadAhead(next.buffer, c.piece, &next);
            if (c.twice) {
                refused.buffer = buffers[2].data();
                input.ReadAhead(refused.buffer, c.piece, &refused);
            }
        }
        EXPECT_EQ(content, got) << c.what;
        EXPECT_EQ(0u, refused.thread) << c.what << ": a refused read ahead does no work";
        input.Close();
    }
    TInputFile input(path);
    std::vector<char> buffer(100);
    input.ReadAhead(buffer.data(), buffer.size(), nullptr);
    input.Close();  // waits for the read ahead
}

// A read ahead that fails (here: into memory that may not be written) is raised by the read that
// wants its bytes, with the read message.
TEST(InputFile, FailedReadAheadIsRaisedByTheNextRead) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"in.csv"), std::string(100, 'a'));
    TInputFile input(folder.Path(u"in.csv"));
    char first[10];
    EXPECT_EQ(10u, input.Read(first, sizeof first));
    char* readOnly = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY));
    ASSERT_NE(nullptr, readOnly);
    input.ReadAhead(readOnly, 4096, nullptr);
    try {
        input.Read(readOnly, 4096);
        ADD_FAILURE() << "read into memory that may not be written";
    } catch (const TFailure& failure) {
        EXPECT_EQ(LoadMessage(IDS_READ_FAILED), failure.Text());
    }
    input.Close();
    VirtualFree(readOnly, 0, MEM_RELEASE);
}

// Only a file on a disk comes to an end: a pipe or a device is refused when it is opened, with
// the open message, before anything waits for it.
TEST(InputFile, RefusesWhatIsNoFileOnADisk) {
    const std::u16string pipe = u"\\\\.\\pipe\\zarn-test-" + ToU16(std::to_wstring(GetCurrentProcessId()));
    const TFileHandle server(CreateNamedPipeW(Wide(pipe), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                              4096, 0, nullptr));
    ASSERT_TRUE(server);
    for (const std::u16string& path : {pipe, std::u16string(u"NUL"), std::u16string(u"AUX")}) {
        try {
            TInputFile input(path);
            ADD_FAILURE() << Narrow(path) << ": opened";
        } catch (const TFailure& failure) {
            EXPECT_EQ(FillMessage(LoadMessage(IDS_OPEN_FAILED), {FullPath(path), SystemMessage(ERROR_BAD_DEVICE)}),
                      failure.Text()) << Narrow(path);
        }
    }
}

TEST(OutputFile, CommitReplacesTheDestinationAndLeavesNoTemporaryFile) {
    TTempFolder folder;
    const std::u16string path = folder.Path(u"out.csv");
    WriteBytes(folder.Path(u"in.csv"), "x");
    for (bool existed : {false, true}) {
        if (existed) WriteBytes(path, "old content");
        TInputFile input(folder.Path(u"in.csv"));
        TOutputFile output(path, input.Handle());
        output.Write("new", 3);
        EXPECT_EQ(existed ? "old content" : "<absent>", ReadBytes(path)) << "before commit";
        output.Commit();
        EXPECT_EQ("new", ReadBytes(path));
        EXPECT_EQ(2u, folder.Files().size());
    }
}

TEST(OutputFile, WithoutCommitTheDestinationKeepsItsContent) {
    TTempFolder folder;
    const std::u16string path = folder.Path(u"out.csv");
    WriteBytes(folder.Path(u"in.csv"), "x");
    WriteBytes(path, "old");
    {
        TInputFile input(folder.Path(u"in.csv"));
        TOutputFile output(path, input.Handle());
        output.Write("partial", 7);
    }
    EXPECT_EQ("old", ReadBytes(path));
    EXPECT_EQ(2u, folder.Files().size());
}

TEST(OutputFile, TheInputItselfMayBeTheDestination) {
    TTempFolder folder;
    const std::u16string path = folder.Path(u"same.csv");
    WriteBytes(path, "a\r\n");
    TInputFile input(path);
    TOutputFile output(path, input.Handle());
    output.Write("b", 1);
    char buffer[8];
    EXPECT_EQ(3u, input.Read(buffer, sizeof buffer));
    input.Close();
    output.Commit();
    EXPECT_EQ("b", ReadBytes(path));
}

// A process of this test program, started suspended and ended at the end (or when killed, its
// handle kept, so that its process object outlives it).
class TSuspendedProcess {
public:
    TSuspendedProcess() {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &info_);
    }
    ~TSuspendedProcess() {
        Kill();
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    void Kill() {
        TerminateProcess(info_.hProcess, 9);
        WaitForSingleObject(info_.hProcess, INFINITE);
    }
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

// Sets a file's times (last written, and made) to now plus an offset, as a file system on another
// clock would show them.
void SetTimesFromNow(const std::u16string& path, LONGLONG seconds) {
    TFileHandle file(CreateFileW(Wide(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER when{{now.dwLowDateTime, now.dwHighDateTime}};
    when.QuadPart += seconds * 10000000;
    const FILETIME time{when.LowPart, when.HighPart};
    ASSERT_TRUE(SetFileTime(file.Get(), &time, nullptr, &time));
}

// Temporary files that ended runs left behind go when the next output is made beside them: only
// those whose writer has provably ended, whose destination is there, that are not kept read-only
// and that nobody holds open. No clock decides it.
TEST(OutputFile, RemovesOnlyTemporaryFilesThatAreProvablyAbandoned) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"in.csv"), "x");
    WriteBytes(folder.Path(u"there.csv"), "old");
    const TSuspendedProcess running, later;
    TSuspendedProcess killed;
    ASSERT_NE(0u, running.Id());
    constexpr DWORD kNoProcess = 0xFFFFFFF0;
    enum class THold { None, Exclusive, SharingDelete };
    struct TCase {
        const char* what;
        DWORD writer;
        std::u16string destination;
        THold hold;
        LONGLONG timeOffset;  // seconds from now of the file's times
        bool readOnly;
        bool stays;
    } cases[] = {
        {"writer ended, destination there", kNoProcess, u"there.csv", THold::None, 0, false, false},
        {"destination name in another case", kNoProcess, u"THERE.CSV", THold::None, 0, false, false},
        {"writer ended, destination gone: it may be the only copy", kNoProcess, u"gone.csv", THold::None, 0, false, true},
        {"held open, shared with nobody", kNoProcess, u"there.csv", THold::Exclusive, 0, false, true},
        {"held open by a program that shares delete", kNoProcess, u"there.csv", THold::SharingDelete, 0, false, true},
        {"kept read-only: the new content of a lost file", kNoProcess, u"there.csv", THold::None, 0, true, true},
        {"an earlier process with this one's id", GetCurrentProcessId(), u"there.csv", THold::None, 0, false, false},
        {"writer runs", running.Id(), u"there.csv", THold::None, 0, false, true},
        {"writer runs, file times an hour behind the clock", running.Id(), u"there.csv", THold::None, -3600, false, true},
        {"writer runs, file times an hour ahead of the clock", running.Id(), u"there.csv", THold::None, 3600, false, true},
        {"writer killed, its process object still referenced", killed.Id(), u"there.csv", THold::None, 0, false, false},
        {"id taken by a process started after the file was written", later.Id(), u"there.csv", THold::None, -3600, false, true},
    };
    std::vector<std::u16string> names;
    std::vector<TFileHandle> held;
    for (const TCase& c : cases) {
        names.push_back(TemporaryFileName(c.writer, static_cast<unsigned>(names.size()), c.destination));
        const std::u16string path = folder.Path(names.back());
        WriteBytes(path, "left behind");
        if (c.timeOffset != 0) SetTimesFromNow(path, c.timeOffset);
        if (c.readOnly) ASSERT_TRUE(SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_READONLY));
        if (c.hold != THold::None) {
            const DWORD share = c.hold == THold::Exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            held.emplace_back(CreateFileW(Wide(path), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held.back()) << c.what;
        }
    }
    WriteBytes(folder.Path(u"~zarn-not-ours.tmp"), "someone else's");
    killed.Kill();  // its handle stays open in this process
    {
        TInputFile input(folder.Path(u"in.csv"));
        TOutputFile output(folder.Path(u"out.csv"), input.Handle());
    }
    held.clear();
    const std::vector<std::u16string> files = folder.Files();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].stays, std::find(files.begin(), files.end(), names[i]) != files.end()) << cases[i].what;
    }
    EXPECT_EQ("someone else's", ReadBytes(folder.Path(u"~zarn-not-ours.tmp")));
    EXPECT_EQ("old", ReadBytes(folder.Path(u"there.csv")));
}

// While the output is written, no other program can open its temporary file, for reading, writing
// or deleting, whatever it shares: an indexer, a sync client or a scanner never sees half a file.
// Each open is refused as a sharing violation, not for another reason. Reading only its attributes
// is not a conflict on Windows and shows nothing of the content.
TEST(OutputFile, NoOtherProgramCanOpenTheTemporaryFileWhileItIsWritten) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"in.csv"), "x");
    for (const bool existed : {false, true}) {
        if (existed) WriteBytes(folder.Path(u"out.csv"), "old");
        TInputFile input(folder.Path(u"in.csv"));
        TOutputFile output(folder.Path(u"out.csv"), input.Handle());
        output.Write("half of the new content", 23);
        output.Settle();
        std::u16string temporary;
        for (const std::u16string& name : folder.Files()) {
            if (name.starts_with(u"~zarn")) temporary = folder.Path(name);
        }
        ASSERT_FALSE(temporary.empty());
        const DWORD accesses[] = {GENERIC_READ, FILE_READ_DATA, GENERIC_WRITE, FILE_APPEND_DATA, DELETE,
                                  GENERIC_READ | GENERIC_WRITE, GENERIC_ALL};
        for (const DWORD access : accesses) {
            for (DWORD share = 0; share <= (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE); ++share) {
                const TFileHandle other(CreateFileW(Wide(temporary), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
                const DWORD error = GetLastError();
                EXPECT_FALSE(other) << "access " << std::hex << access << ", share " << share;
                EXPECT_EQ(DWORD{ERROR_SHARING_VIOLATION}, error) << "access " << std::hex << access << ", share " << share;
            }
        }
        output.Commit();
        input.Close();
    }
}

// A rename that fails the way the case says, the given number of times, then works.
struct TRenameFailure {
    DWORD error;
    int times;  // then the rename works; -1: never
    enum { Kept, Removed, FolderTakesTheName } destination;
};
TRenameFailure renameFailure;
int renames = 0;

bool FailingRename(HANDLE file, const std::u16string& path) {
    const int turn = renames++;
    if (renameFailure.times >= 0 && turn >= renameFailure.times) return RenameByHandle(file, path);
    if (turn == 0 && renameFailure.destination != TRenameFailure::Kept) {
        DeleteFileW(Wide(path));
        if (renameFailure.destination == TRenameFailure::FolderTakesTheName) CreateDirectoryW(Wide(path), nullptr);
    }
    SetLastError(renameFailure.error);
    return false;
}

// Whatever the rename meets, the destination ends with its old content or the complete new one; a
// short hold is waited out; and only where the old file is gone and the new content cannot take
// its name does the temporary file stay, read-only, named by the failure.
TEST(OutputFile, FailedRenameLeavesTheOldOrTheNewContent) {
    struct TCase {
        const char* what;
        TRenameFailure failure;
        const char* destination;  // content afterwards
        UINT message;             // 0: no failure
        bool temporaryStays;
    } cases[] = {
        {"held for a moment: waited for", {ERROR_SHARING_VIOLATION, 3, TRenameFailure::Kept}, "new", 0, false},
        {"locked for a moment: waited for", {ERROR_LOCK_VIOLATION, 2, TRenameFailure::Kept}, "new", 0, false},
        {"held for good", {ERROR_SHARING_VIOLATION, -1, TRenameFailure::Kept}, "old", IDS_CREATE_FAILED, false},
        {"refused for good", {ERROR_ACCESS_DENIED, -1, TRenameFailure::Kept}, "old", IDS_CREATE_FAILED, false},
        {"old file being removed by another program", {ERROR_ACCESS_DENIED, 2, TRenameFailure::Removed}, "new", 0, false},
        {"old file removed meanwhile, the name never free", {ERROR_PATH_NOT_FOUND, -1, TRenameFailure::Removed}, "<absent>", IDS_NEW_CONTENT_KEPT, true},
        {"a folder took the name", {ERROR_ACCESS_DENIED, -1, TRenameFailure::FolderTakesTheName}, "<absent>", IDS_NEW_CONTENT_KEPT, true},
    };
    for (const TCase& c : cases) {
        TTempFolder folder;
        const std::u16string path = folder.Path(u"out.csv");
        WriteBytes(folder.Path(u"in.csv"), "x");
        WriteBytes(path, "old");
        renameFailure = c.failure;
        renames = 0;
        TInputFile input(folder.Path(u"in.csv"));
        UINT message = 0;
        std::u16string text;
        try {
            TOutputFile output(path, input.Handle(), FailingRename);
            output.Write("new", 3);
            output.Commit();
        } catch (const TFailure& failure) {
            text = failure.Text();
            message = text == CreateMessage(path, c.failure.error) ? IDS_CREATE_FAILED : IDS_NEW_CONTENT_KEPT;
        }
        EXPECT_EQ(c.message, message) << c.what << ": " << Narrow(text);
        EXPECT_EQ(c.destination, ReadBytes(path)) << c.what;
        std::vector<std::u16string> temporaries;
        for (const std::u16string& name : folder.Files()) {
            if (name.starts_with(u"~zarn")) temporaries.push_back(name);
        }
        ASSERT_EQ(c.temporaryStays ? 1u : 0u, temporaries.size()) << c.what;
        if (!c.temporaryStays) continue;
        const std::u16string kept = folder.Path(temporaries[0]);
        EXPECT_EQ("new", ReadBytes(kept)) << c.what;
        EXPECT_TRUE(GetFileAttributesW(Wide(kept)) & FILE_ATTRIBUTE_READONLY) << c.what;
        EXPECT_EQ(FillMessage(LoadMessage(IDS_NEW_CONTENT_KEPT), {path, SystemMessage(c.failure.error), kept}), text) << c.what;
        SetFileAttributesW(Wide(kept), FILE_ATTRIBUTE_NORMAL);
    }
}

// Folders that RenamedButReported moves right after its rename.
std::u16string movedFrom, movedTo;

// Renames, then moves the folder from movedFrom to movedTo (where set), and reports a failure, as
// a system does that looks the new name up again after the rename.
bool RenamedButReported(HANDLE file, const std::u16string& path) {
    const bool renamed = RenameByHandle(file, path);
    if (!movedFrom.empty()) MoveFileW(Wide(movedFrom), Wide(movedTo));
    SetLastError(renamed ? ERROR_NOT_ENOUGH_MEMORY : GetLastError());
    return false;
}

// A rename that took place but was reported as failed, also while the destination's folder was
// moved at that moment: the new content has the name, which is what a run reports (no failure, no
// read-only file, no temporary file left).
TEST(OutputFile, ARenameReportedFailedThatTookPlaceIsASuccess) {
    for (const bool folderMoved : {false, true}) {
        TTempFolder parent;
        const std::u16string before = parent.Path(u"prog"), after = parent.Path(u"moved");
        ASSERT_TRUE(CreateDirectoryW(Wide(before), nullptr));
        WriteBytes(before + u"\\out.csv", "old");
        WriteBytes(parent.Path(u"in.csv"), "x");
        movedFrom = folderMoved ? before : u"";
        movedTo = after;
        {
            TInputFile input(parent.Path(u"in.csv"));
            TOutputFile output(before + u"\\out.csv", input.Handle(), RenamedButReported);
            output.Write("new", 3);
            try {
                output.Commit();
            } catch (const TFailure& failure) {
                ADD_FAILURE() << "folder moved: " << folderMoved << ": " << Narrow(failure.Text());
            }
        }
        const std::u16string folder = folderMoved ? after : before;
        EXPECT_EQ("new", ReadBytes(folder + u"\\out.csv")) << "folder moved: " << folderMoved;
        EXPECT_FALSE(GetFileAttributesW(Wide(folder + u"\\out.csv")) & FILE_ATTRIBUTE_READONLY);
        WIN32_FIND_DATAW found;
        std::vector<std::u16string> names;
        const TFindHandle search(FindFirstFileW(Wide(folder + u"\\*"), &found));
        do names.push_back(ToU16(found.cFileName)); while (search && FindNextFileW(search.Get(), &found));
        std::sort(names.begin(), names.end());
        EXPECT_EQ((std::vector<std::u16string>{u".", u"..", u"out.csv"}), names) << "folder moved: " << folderMoved;
        DeleteFileW(Wide(folder + u"\\out.csv"));
        RemoveDirectoryW(Wide(folder));
    }
    movedFrom.clear();
}

// The folder that holds the destination is renamed while the output is written: the old file
// stays as it was, in the folder under its new name, and no temporary file is left in it.
TEST(OutputFile, FolderRenamedMeanwhileKeepsTheOldFileAndLeavesNoTemporary) {
    TTempFolder parent;
    const std::u16string before = parent.Path(u"prog"), after = parent.Path(u"moved");
    ASSERT_TRUE(CreateDirectoryW(Wide(before), nullptr));
    WriteBytes(before + u"\\out.csv", "old");
    WriteBytes(parent.Path(u"in.csv"), "x");
    TInputFile input(parent.Path(u"in.csv"));
    bool failed = false;
    try {
        TOutputFile output(before + u"\\out.csv", input.Handle());
        output.Write("new", 3);
        ASSERT_TRUE(MoveFileW(Wide(before), Wide(after))) << GetLastError();
        output.Commit();
    } catch (const TFailure& failure) {
        failed = true;
        EXPECT_EQ(CreateMessage(before + u"\\out.csv", ERROR_PATH_NOT_FOUND), failure.Text()) << Narrow(failure.Text());
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ("old", ReadBytes(after + u"\\out.csv"));
    WIN32_FIND_DATAW found;
    std::vector<std::u16string> names;
    const TFindHandle search(FindFirstFileW(Wide(after + u"\\*"), &found));
    do names.push_back(ToU16(found.cFileName)); while (search && FindNextFileW(search.Get(), &found));
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::u16string>{u".", u"..", u"out.csv"}), names);
    DeleteFileW(Wide(after + u"\\out.csv"));
    RemoveDirectoryW(Wide(after));
}

// Which handles are on one file, on a file system whose ids are unique: the same name opened
// twice, two names of one file (a hard link), two files, and a file beside its folder.
TEST(Sameness, TellsFilesByPathIdAndNames) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"a.csv"), "a");
    WriteBytes(folder.Path(u"b.csv"), "b");
    ASSERT_TRUE(CreateHardLinkW(Wide(folder.Path(u"link.csv")), Wide(folder.Path(u"a.csv")), nullptr)) << GetLastError();
    const struct {
        const char16_t* first;
        const char16_t* second;
        TSameness sameness;
    } cases[] = {
        {u"a.csv", u"a.csv", TSameness::Same},          // one name: one file
        {u"a.csv", u"link.csv", TSameness::Same},       // two names of it: the unique id tells
        {u"a.csv", u"b.csv", TSameness::Different},
        {u"a.csv", u"", TSameness::Different},          // the folder
    };
    for (const auto& c : cases) {
        const TFileHandle first = OpenForQuery(folder.Path(c.first)), second = OpenForQuery(folder.Path(c.second));
        ASSERT_TRUE(first && second);
        EXPECT_EQ(c.sameness, Sameness(FactsOf(first.Get()), FactsOf(second.Get()))) << Narrow(c.first) << " " << Narrow(c.second);
    }
}

// The running program's own file, as destination and as input at once (the program dropped on
// itself), is refused before anything is written.
TEST(OutputFile, RefusesTheRunningProgramAlsoAsItsOwnInput) {
    const std::u16string program = ProgramPath();
    const std::string before = ReadBytes(program).substr(0, 4096);
    TInputFile input(program);
    try {
        TOutputFile output(program, input.Handle());
        ADD_FAILURE() << "created";
    } catch (const TFailure& failure) {
        EXPECT_EQ(CreateMessage(program, ERROR_SHARING_VIOLATION), failure.Text());
    }
    input.Close();
    EXPECT_EQ(before, ReadBytes(program).substr(0, 4096));
}

TEST(OutputFile, RefusesWhatCreatingTheDestinationWouldRefuse) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"in.csv"), "x");
    TInputFile input(folder.Path(u"in.csv"));
    struct TCase {
        const char* what;
        std::u16string name;
        DWORD attributes;  // 0: the destination does not exist beforehand
        DWORD error;
    } cases[] = {
        {"read-only", u"ro.csv", FILE_ATTRIBUTE_READONLY, ERROR_ACCESS_DENIED},
        {"hidden", u"hidden.csv", FILE_ATTRIBUTE_HIDDEN, ERROR_ACCESS_DENIED},
        {"system", u"system.csv", FILE_ATTRIBUTE_SYSTEM, ERROR_ACCESS_DENIED},
        {"folder missing", u"nowhere\\out.csv", 0, ERROR_PATH_NOT_FOUND},
    };
    for (const TCase& c : cases) {
        const std::u16string path = folder.Path(c.name);
        if (c.attributes != 0) {
            WriteBytes(path, "keep");
            ASSERT_TRUE(SetFileAttributesW(Wide(path), c.attributes));
        }
        try {
            TOutputFile output(path, input.Handle());
            ADD_FAILURE() << c.what << ": created";
        } catch (const TFailure& failure) {
            EXPECT_EQ(CreateMessage(path, c.error), failure.Text()) << c.what;
        }
        if (c.attributes != 0) EXPECT_EQ("keep", ReadBytes(path)) << c.what;
    }
    EXPECT_EQ(4u, folder.Files().size()) << "no temporary file is left";
}

TEST(OutputFile, RefusesADestinationHeldOpenElsewhere) {
    TTempFolder folder;
    const std::u16string path = folder.Path(u"held.csv");
    WriteBytes(folder.Path(u"in.csv"), "x");
    WriteBytes(path, "keep");
    TFileHandle holder(CreateFileW(Wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    TInputFile input(folder.Path(u"in.csv"));
    try {
        TOutputFile output(path, input.Handle());
        FAIL() << "created";
    } catch (const TFailure& failure) {
        EXPECT_EQ(CreateMessage(path, ERROR_SHARING_VIOLATION), failure.Text());
    }
    holder.Close();
    EXPECT_EQ("keep", ReadBytes(path));
}

// The whole pipeline on real files: generated files through TInputFile, the stamper and
// TOutputFile in tiny pieces, so that the reading and writing threads take over hundreds of
// pieces per file, against the whole-file model; with the system's ANSI code page and with UTF-8
// as the ANSI code page.
TEST(TextFiles, StampingThroughRealFilesMatchesTheWholeFileModel) {
    TTempFolder folder;
    for (const UINT codePage : {UINT{CP_ACP}, UINT{CP_UTF8}}) {
        TWin32CodePage ansi(codePage, 0, u"invalid");
        TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
        TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8), aheadAnsi(ansi), aheadUtf8(utf8);
        std::mt19937 random(GetACP() + codePage + 3);
        const std::u16string stamp = u",2026/12/10";
        const std::u16string in = folder.Path(u"in.csv"), out = folder.Path(u"out.csv");
        for (int i = 0; i < 60; ++i) {
            std::string file;
            while (file.size() < 4000) file += GenerateFile(random);  // marks inside stay text
            WriteBytes(in, file);
            const std::size_t piece = std::uniform_int_distribution<std::size_t>(8, 24)(random);
            std::string expected, actual;
            try {
                expected = ModelStamp(file, ansi, utf8, stamp);
            } catch (const TFailure&) {
                expected = "failure";
            }
            try {
                TInputFile input(in);
                TOutputFile output(out, input.Handle());
                StampText(input, {{cachedAnsi, cachedUtf8}, {aheadAnsi, aheadUtf8}}, stamp, output, piece);
                input.Close();
                output.Commit();
                actual = ReadBytes(out);
            } catch (const TFailure&) {
                actual = "failure";
            }
            ASSERT_EQ(expected, actual) << "code page " << codePage << " (" << GetACP() << "), case " << i
                                        << ", pieces of " << piece;
        }
    }
    EXPECT_EQ(2u, folder.Files().size()) << "no temporary file is left";
}

}  // namespace
}  // namespace zarn::testing
