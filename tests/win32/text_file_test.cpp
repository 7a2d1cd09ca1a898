// Files and code pages on Windows: the input, the output through a temporary file, and the
// streaming pipeline with the system's own ANSI code page against the whole-file model.
#include <gtest/gtest.h>

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
    for (const TCase& c : cases) {
        TInputFile input(path);
        std::vector<char> buffers[3] = {std::vector<char>(c.piece), std::vector<char>(c.piece), std::vector<char>(c.piece)};
        std::string got;
        for (unsigned turn = 0;; ++turn) {
            char* buffer = buffers[c.sameBuffer ? turn % 2 : turn % 3].data();
            const std::size_t count = input.Read(buffer, c.piece);
            got.append(buffer, count);
            if (count == 0) break;
            input.ReadAhead(buffers[(turn + 1) % 2].data(), c.piece);
            if (c.twice) input.ReadAhead(buffers[2].data(), c.piece);
        }
        EXPECT_EQ(content, got) << c.what;
        input.Close();
    }
    TInputFile input(path);
    std::vector<char> buffer(100);
    input.ReadAhead(buffer.data(), buffer.size());
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
    input.ReadAhead(readOnly, 4096);
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

// A process of this test program, started suspended and ended at the end.
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
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, INFINITE);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_{};
};

// Temporary files that ended runs left behind go when the next output is made beside them: only
// those that nobody holds open, whose writer has ended and whose destination is there.
TEST(OutputFile, RemovesTemporaryFilesThatEndedRunsLeftBehind) {
    TTempFolder folder;
    WriteBytes(folder.Path(u"in.csv"), "x");
    WriteBytes(folder.Path(u"there.csv"), "old");
    const TSuspendedProcess running;  // started before the files below were written
    ASSERT_NE(0u, running.Id());
    constexpr DWORD kNoProcess = 0xFFFFFFF0;
    struct TCase {
        const char* what;
        DWORD writer;  // 0: a process started after the file was written, with the id reused
        std::u16string destination;
        bool held;
        bool stays;
    } cases[] = {
        {"writer ended, destination there", kNoProcess, u"there.csv", false, false},
        {"destination name in another case", kNoProcess, u"THERE.CSV", false, false},
        {"writer ended, destination gone: it may be the only copy", kNoProcess, u"gone.csv", false, true},
        {"held open by its writer", kNoProcess, u"there.csv", true, true},
        {"an earlier process with this one's id", GetCurrentProcessId(), u"there.csv", false, false},
        {"writer runs, between writing and replacing", running.Id(), u"there.csv", false, true},
        {"id now taken by a process started later", 0, u"there.csv", false, false},
    };
    Sleep(50);
    std::vector<std::u16string> names;
    for (const TCase& c : cases) names.push_back(TemporaryFileName(c.writer, static_cast<unsigned>(names.size()), c.destination));
    for (const std::u16string& name : names) WriteBytes(folder.Path(name), "left behind");
    WriteBytes(folder.Path(u"~zarn-not-ours.tmp"), "someone else's");
    Sleep(50);
    const TSuspendedProcess later;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].writer == 0) {  // the name again, with the id that the later process has
            const std::u16string name = TemporaryFileName(later.Id(), static_cast<unsigned>(i), cases[i].destination);
            ASSERT_TRUE(MoveFileW(Wide(folder.Path(names[i])), Wide(folder.Path(name))));
            names[i] = name;
        }
    }
    std::vector<TFileHandle> held;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].held) held.emplace_back(CreateFileW(Wide(folder.Path(names[i])), GENERIC_WRITE, 0, nullptr,
                                                         OPEN_EXISTING, 0, nullptr));
    }
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

// A replace that fails as the system documents for each error, with no backup name: what it
// leaves of the replaced file is set by the case.
struct TReplaceFailure {
    DWORD error;
    enum { Kept, Removed, MovedAside, MovedAsideAndBlocked } replaced;
};
TReplaceFailure replaceFailure;
std::wstring replacedAside;  // where MovedAside puts the replaced file

BOOL WINAPI FailingReplace(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    switch (replaceFailure.replaced) {
    case TReplaceFailure::Kept: break;
    case TReplaceFailure::Removed: DeleteFileW(replaced); break;
    case TReplaceFailure::MovedAside: MoveFileW(replaced, replacedAside.c_str()); break;
    case TReplaceFailure::MovedAsideAndBlocked:  // and a folder takes the name, so no file can
        MoveFileW(replaced, replacedAside.c_str());
        CreateDirectoryW(replaced, nullptr);
        break;
    }
    SetLastError(replaceFailure.error);
    return FALSE;
}

// Whatever the replace leaves, the destination ends with its old content or the complete new
// one, and a temporary file that holds the only copy of the new content stays.
TEST(OutputFile, FailedReplaceLeavesTheOldOrTheNewContent) {
    struct TCase {
        const char* what;
        TReplaceFailure failure;
        const char* destination;  // content afterwards
        bool fails;               // Commit raises the create message
        bool temporaryStays;
    } cases[] = {
        {"replaced file cannot be removed", {ERROR_UNABLE_TO_REMOVE_REPLACED, TReplaceFailure::Kept}, "old", true, false},
        {"replacement cannot be moved, replaced file gone", {ERROR_UNABLE_TO_MOVE_REPLACEMENT, TReplaceFailure::Removed}, "new", false, false},
        {"replacement cannot be moved, replaced file aside", {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, TReplaceFailure::MovedAside}, "new", false, false},
        {"access denied", {ERROR_ACCESS_DENIED, TReplaceFailure::Kept}, "old", true, false},
        {"replaced file aside and its name taken", {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, TReplaceFailure::MovedAsideAndBlocked}, "<absent>", true, true},
    };
    for (const TCase& c : cases) {
        TTempFolder folder;
        const std::u16string path = folder.Path(u"out.csv");
        WriteBytes(folder.Path(u"in.csv"), "x");
        WriteBytes(path, "old");
        replaceFailure = c.failure;
        replacedAside = Wide(folder.Path(u"aside.csv"));
        TInputFile input(folder.Path(u"in.csv"));
        bool failed = false;
        try {
            TOutputFile output(path, input.Handle(), FailingReplace);
            output.Write("new", 3);
            output.Commit();
        } catch (const TFailure& failure) {
            failed = true;
            EXPECT_TRUE(failure.Text().starts_with(FillMessage(LoadMessage(IDS_CREATE_FAILED), {path, u""}))) << c.what;
        }
        EXPECT_EQ(c.fails, failed) << c.what;
        EXPECT_EQ(c.destination, ReadBytes(path)) << c.what;
        std::vector<std::u16string> temporaries;
        for (const std::u16string& name : folder.Files()) {
            if (name.starts_with(u"~zarn")) temporaries.push_back(name);
        }
        ASSERT_EQ(c.temporaryStays ? 1u : 0u, temporaries.size()) << c.what;
        if (c.temporaryStays) EXPECT_EQ("new", ReadBytes(folder.Path(temporaries[0]))) << c.what;
        if (c.failure.replaced >= TReplaceFailure::MovedAside) EXPECT_EQ("old", ReadBytes(folder.Path(u"aside.csv")));
    }
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
// pieces per file, against the whole-file model.
TEST(TextFiles, StampingThroughRealFilesMatchesTheWholeFileModel) {
    TTempFolder folder;
    TWin32CodePage ansi(CP_ACP, 0, u"invalid");
    TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, u"bad UTF-8");
    TCachedCodePage cachedAnsi(ansi), cachedUtf8(utf8);
    std::mt19937 random(GetACP() + 3);
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
            StampText(input, cachedAnsi, cachedUtf8, stamp, output, piece);
            input.Close();
            output.Commit();
            actual = ReadBytes(out);
        } catch (const TFailure&) {
            actual = "failure";
        }
        ASSERT_EQ(expected, actual) << "code page " << GetACP() << ", case " << i << ", pieces of " << piece;
    }
    EXPECT_EQ(2u, folder.Files().size()) << "no temporary file is left";
}

}  // namespace
}  // namespace zarn::testing
