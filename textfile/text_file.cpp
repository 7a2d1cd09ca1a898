#include "textfile/text_file.h"

#include "textfile/temporary_files.h"
#include "win/failure.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

[[noreturn]] void FailRead() { throw TFailure(LoadMessage(IDS_READ_FAILED)); }
[[noreturn]] void FailWrite() { throw TFailure(LoadMessage(IDS_WRITE_FAILED)); }

}  // namespace

TInputFile::TInputFile(const std::u16string& path)
    : file_(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL |
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    // Only a file on a disk comes to an end: a device, a pipe or a console may wait for ever.
    const DWORD error = !file_ ? GetLastError() : GetFileType(file_.Get()) != FILE_TYPE_DISK ? ERROR_BAD_DEVICE : 0;
    if (error != 0) throw TFailure(FillMessage(LoadMessage(IDS_OPEN_FAILED), {FullPath(path), SystemMessage(error)}));
}

void TInputFile::TRead::Run() noexcept {
    DWORD count = 0;
    read = ReadFile(file, buffer, static_cast<DWORD>(capacity), &count, nullptr) != FALSE;
    got = count;
}

// Refused while a read ahead is held already (the next Read sorts that out) or when no thread
// can be started (the next Read then reads itself).
void TInputFile::ReadAhead(char* buffer, std::size_t capacity) noexcept {
    readAhead_.Begin({file_.Get(), buffer, capacity});
}

std::size_t TInputFile::Read(char* buffer, std::size_t capacity) {
    if (const auto ahead = readAhead_.Take()) {
        if (!ahead->read) FailRead();
        if (ahead->buffer == buffer && ahead->capacity == capacity) return ahead->got;
        // Read ahead into another buffer: read those bytes again.
        LARGE_INTEGER back;
        back.QuadPart = -static_cast<LONGLONG>(ahead->got);
        if (!SetFilePointerEx(file_.Get(), back, nullptr, FILE_CURRENT)) FailRead();
    }
    TRead now{file_.Get(), buffer, capacity};
    now.Run();
    if (!now.read) FailRead();
    return now.got;
}

void TInputFile::Close() {
    readAhead_.Stop();
    file_.Close();
}

TOutputFile::TOutputFile(const std::u16string& path, HANDLE input, TReplaceFile replace)
    : path_(path), target_(path), replace_(replace) {
    CheckDestination(input);
    CreateTemporary();
}

TOutputFile::~TOutputFile() {
    writeBehind_.Stop();
    if (temporaryPath_.empty()) return;
    temporary_.Close();  // marked for deletion: the system removes it
    DeleteFileW(Wide(temporaryPath_));  // in case it could not be marked, or is no longer
}

void TOutputFile::FailCreate(DWORD error) const {
    throw TFailure(FillMessage(LoadMessage(IDS_CREATE_FAILED), {FullPath(path_), SystemMessage(error)}));
}

// Refuses what creating the destination in place would refuse: a folder, a read-only, hidden or
// system file, a file that cannot be opened for writing now (held open elsewhere, no access), and
// the running program's own file, which Windows keeps from being written while it runs.
void TOutputFile::CheckDestination(HANDLE input) {
    const DWORD attributes = GetFileAttributesW(Wide(path_));
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    destinationExists_ = true;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        FailCreate(ERROR_ACCESS_DENIED);
    }
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const TFileHandle query(CreateFileW(Wide(path_), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (query) {
        const TFileHandle program(CreateFileW(Wide(ProgramPath()), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        if (program && SameFile(query.Get(), program.Get())) FailCreate(ERROR_SHARING_VIOLATION);
        // Through a link, the file linked to is the one replaced.
        if (std::u16string final = FinalPath(query.Get()); !final.empty()) target_ = std::move(final);
        replaced_ = IdentityOf(query.Get());
        // The input, held open for reading, may be the destination: that is allowed.
        if (SameFile(query.Get(), input)) return;
    }
    const TFileHandle probe(CreateFileW(Wide(path_), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) FailCreate(error);
        destinationExists_ = false;
        target_ = path_;
    }
}

void TOutputFile::CreateTemporary() {
    // Beside the file to replace, so that replacing it is a rename on the same volume.
    const std::size_t split = target_.find_last_of(u"\\:") + 1;
    const std::u16string folder = target_.substr(0, split);
    SweepTemporaries(folder);
    for (unsigned attempt = 0;; ++attempt) {
        temporaryPath_ = folder + TemporaryFileName(GetCurrentProcessId(), attempt, target_.substr(split));
        temporary_ = TFileHandle(CreateFileW(Wide(temporaryPath_), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (temporary_) break;
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
            temporaryPath_.clear();
            FailCreate(error);
        }
    }
    marked_ = MarkForDeletion(temporary_.Get(), true);
}

void TOutputFile::TWrite::Run() noexcept {
    while (count > 0) {
        const DWORD request = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD done = 0;
        if (!WriteFile(file, bytes, request, &done, nullptr) || done != request) return;
        bytes += done;
        count -= done;
    }
    written = true;
}

// A failed write is raised by the next Write or by Commit.
void TOutputFile::Write(const char* bytes, std::size_t count) {
    if (const auto last = writeBehind_.Take(); last && !last->written) FailWrite();
    TWrite write{temporary_.Get(), bytes, count};
    if (writeBehind_.Begin(write)) return;
    write.Run();
    if (!write.written) FailWrite();
}

void TOutputFile::Commit() {
    if (const auto last = writeBehind_.Take(); last && !last->written) FailWrite();
    writeBehind_.Stop();
    // Make the new content durable before it takes the place of the old; only then may the
    // temporary file outlive the run.
    if (destinationExists_ && !FlushFileBuffers(temporary_.Get())) FailWrite();
    if (marked_ && !MarkForDeletion(temporary_.Get(), false)) FailWrite();
    marked_ = false;
    if (!temporary_.Close()) FailWrite();
    const std::u16string temporaryPath = temporaryPath_;
    if (!destinationExists_) {
        if (!MoveFileExW(Wide(temporaryPath), Wide(target_), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            FailCreate(GetLastError());
        }
        temporaryPath_.clear();
        return;
    }
    if (replace_(Wide(target_), Wide(temporaryPath), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        temporaryPath_.clear();
        return;
    }
    const DWORD error = GetLastError();
    // The old file is still in place: it stays, and the temporary file goes.
    const TFileHandle now(CreateFileW(Wide(target_), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (now && replaced_ && IdentityOf(now.Get()) == replaced_) FailCreate(error);
    // The old file is gone (removed, or moved aside under a name the system chose): the temporary
    // file may hold the only copy of the content. It takes the free name, or stays.
    temporaryPath_.clear();
    if (!MoveFileExW(Wide(temporaryPath), Wide(target_), MOVEFILE_WRITE_THROUGH)) FailCreate(GetLastError());
}

}  // namespace zarn
