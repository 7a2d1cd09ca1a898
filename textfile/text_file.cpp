#include "textfile/text_file.h"

#include "textfile/temporary_files.h"
#include "win/failure.h"
#include "win/file_access.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

[[noreturn]] void FailRead() { throw TFailure(LoadMessage(IDS_READ_FAILED)); }
[[noreturn]] void FailWrite() { throw TFailure(LoadMessage(IDS_WRITE_FAILED)); }

// The errors that another program's short hold on a file gives.
constexpr std::initializer_list<DWORD> kHeld = {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED};

// The last part of a path.
std::u16string_view NameOf(std::u16string_view path) { return path.substr(path.find_last_of(u"\\:") + 1); }

// A file's path in a folder.
std::u16string Join(const std::u16string& folder, std::u16string_view name) {
    return folder + (folder.ends_with(u'\\') ? u"" : u"\\") + std::u16string(name);
}

// True when a file (not a folder) is at path.
bool IsFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A path of the system's long form as a user writes it.
std::u16string ShortForm(const std::u16string& path) {
    if (path.starts_with(u"\\\\?\\UNC\\")) return u"\\\\" + path.substr(8);
    if (path.starts_with(u"\\\\?\\")) return path.substr(4);
    return path;
}

}  // namespace

TInputFile::TInputFile(const std::u16string& path)
    : file_(OpenForReading(LongPath(path))) {
    // Only a file on a disk comes to an end: a device, a pipe or a console may wait for ever.
    const DWORD error = !file_ ? GetLastError() : GetFileType(file_.Get()) != FILE_TYPE_DISK ? ERROR_BAD_DEVICE : 0;
    if (error != 0) throw TFailure(FillMessage(LoadMessage(IDS_OPEN_FAILED), {FullPath(path), SystemMessage(error)}));
}

void TInputFile::TRead::Run() noexcept {
    DWORD count = 0;
    read = ReadFile(file, buffer, static_cast<DWORD>(capacity), &count, nullptr) != FALSE;
    got = count;
    if (read && work != nullptr) work->Run(got);
}

// Refused while a read ahead is held already (the next Read sorts that out) or when no thread
// can be started (the next Read then reads itself, and leaves the work to the caller).
void TInputFile::ReadAhead(char* buffer, std::size_t capacity, TPieceWork* work) noexcept {
    readAhead_.Begin({file_.Get(), buffer, capacity, work});
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

TOutputFile::TOutputFile(const std::u16string& path, HANDLE input, TRenameFile rename)
    : path_(path), target_(LongPath(path)), rename_(rename) {
    CheckDestination(input);
    CreateTemporary();
}

TOutputFile::~TOutputFile() {
    writeBehind_.Stop();
    if (!temporary_) return;
    // Not in place: it goes, marked through its own handle. A system that deletes a marked file by
    // the name it was opened under misses it when its folder was renamed meanwhile, so it is also
    // removed where its folder is now.
    const bool marked = marked_ || MarkForDeletion(temporary_.Get(), true);
    temporary_.Close();
    if (!marked) DeleteFileW(Wide(temporaryPath_));
    if (const std::u16string folder = FolderNow(); !folder.empty()) {
        DeleteFileW(Wide(LongPath(Join(folder, NameOf(temporaryPath_)))));
    }
}

void TOutputFile::FailCreate(DWORD error) const {
    throw TFailure(FillMessage(LoadMessage(IDS_CREATE_FAILED), {FullPath(path_), SystemMessage(error)}));
}

// Refuses what creating the destination in place would refuse: a folder, a read-only, hidden or
// system file, a file that cannot be opened for writing now (held open elsewhere for longer than
// a moment, no access), and the running program's own file, which Windows keeps from being
// written while it runs. Only a name that is not there means that there is no destination.
void TOutputFile::CheckDestination(HANDLE input) {
    const DWORD attributes = GetFileAttributesW(Wide(target_));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) FailCreate(error);
        return;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        FailCreate(ERROR_ACCESS_DENIED);
    }
    if (const TFileHandle query = OpenForQuery(target_)) {
        // Where the system cannot tell two files apart, each question takes the safe answer: the
        // program's own file is refused, and the input may be the destination.
        const TFileFacts destination = FactsOf(query.Get());
        const TFileHandle program = OpenForQuery(LongPath(ProgramPath()));
        if (program && Sameness(destination, FactsOf(program.Get())) != TSameness::Different) {
            FailCreate(ERROR_SHARING_VIOLATION);
        }
        replaced_ = destination.identity;
        // Through a link, the file linked to is the one replaced.
        if (!destination.finalPath.empty()) target_ = destination.finalPath;
        // The input, held open for reading, may be the destination: that is allowed, and the
        // output then never replaces it with text that lost characters.
        if (Sameness(destination, FactsOf(input)) != TSameness::Different) {
            replacesInput_ = true;
            return;
        }
    }
    const TFileHandle probe = RetryWhileHeld([&] { return OpenWriteProbe(target_); }, kHeld);
    if (!probe) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) FailCreate(error);
        replaced_.reset();  // gone meanwhile
        target_ = LongPath(path_);
    }
}

void TOutputFile::CreateTemporary() {
    // Beside the file to replace, so that putting it in place is a rename in one folder.
    const std::size_t split = target_.find_last_of(u"\\:") + 1;
    const std::u16string folder = target_.substr(0, split);
    SweepTemporaries(folder);
    for (unsigned attempt = 0;; ++attempt) {
        temporaryPath_ = LongPath(folder + TemporaryFileName(GetCurrentProcessId(), attempt, target_.substr(split)));
        temporary_ = RetryWhileHeld([&] { return CreateExclusive(temporaryPath_); },
                                    {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION});
        if (temporary_) break;
        // A name taken, or held by a file that is being deleted: the next name. An unwritable
        // folder refuses them all.
        const DWORD error = GetLastError();
        const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                           (error == ERROR_ACCESS_DENIED && attempt < 3);
        if (!taken || attempt == 100) FailCreate(error);
    }
    marked_ = MarkForDeletion(temporary_.Get(), true);
    folderPath_ = folder;
    folder_ = OpenForQuery(folder);
    folderIdentity_ = folder_ ? IdentityOf(folder_.Get()) : std::nullopt;
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

// Written behind, up to kWritesBehind writes at a time; a failed write is raised by a later Write
// or by Commit. Where no thread can be started, written here.
void TOutputFile::Write(const char* bytes, std::size_t count) {
    TWrite write{temporary_.Get(), bytes, count};
    while (!writeBehind_.Begin(write)) {
        const auto oldest = writeBehind_.Take();
        if (!oldest) {
            write.Run();
            if (!write.written) FailWrite();
            return;
        }
        if (!oldest->written) FailWrite();
    }
}

void TOutputFile::Commit() {
    while (const auto oldest = writeBehind_.Take()) {
        if (!oldest->written) FailWrite();
    }
    writeBehind_.Stop();
    // Durable before it takes the destination's name, new or replacing: after a power cut the name
    // holds the old content or the complete new one, never a file that was not written out.
    if (!FlushFileBuffers(temporary_.Get())) FailWrite();
    if (marked_ && !MarkForDeletion(temporary_.Get(), false)) FailWrite();
    marked_ = false;
    DWORD error = ERROR_GEN_FAILURE;
    if (RetryWhileHeld([&] { return rename_(temporary_.Get(), target_); }, kHeld)) {
        // A rename moves the temporary file's name. A system that reports a rename done and leaves
        // the name where it was (seen where a file system gives one id to every file) did nothing.
        if (!IsFile(temporaryPath_)) {
            temporary_.Close();
            return;
        }
    } else {
        error = GetLastError();
    }
    // A rename may take place and still be reported as failed (a system that looks the new name up
    // again after renaming, while the folder is moved): then the new content has the name.
    if (TookTheName()) {
        temporary_.Close();
        return;
    }
    if (!OldFileIsGone()) FailCreate(error);  // the destructor removes the temporary file
    // The old content is lost, by whatever took it away: the new content stays where it is, kept
    // from every sweep, and the failure says where.
    const std::u16string folder = FolderNow();
    const std::u16string kept = ShortForm(folder.empty() ? temporaryPath_ : Join(folder, NameOf(temporaryPath_)));
    FILE_BASIC_INFO readOnly{};  // times of 0 stay as they are
    readOnly.FileAttributes = FILE_ATTRIBUTE_READONLY;
    SetFileInformationByHandle(temporary_.Get(), FileBasicInfo, &readOnly, sizeof readOnly);
    temporary_.Close();
    throw TFailure(FillMessage(LoadMessage(IDS_NEW_CONTENT_KEPT),
                               {FullPath(path_), SystemMessage(error), kept}));
}

// True when the temporary file itself has the destination's name, in the folder as it was named
// or where that folder is now. A rename moves the temporary file's name, which nobody else can
// (it is held open, shared with nobody): while that name is there, it took no other. Once it is
// gone, the file at the destination's name is the temporary file unless its unique id says not.
bool TOutputFile::TookTheName() const {
    const std::optional<TFileIdentity> temporary = IdentityOf(temporary_.Get());
    if (!temporary) return false;
    const std::u16string folder = FolderNow();
    if (IsFile(temporaryPath_) || (!folder.empty() && IsFile(LongPath(Join(folder, NameOf(temporaryPath_)))))) return false;
    // Both lie in one folder, so on one volume.
    const auto isTemporary = [&](const std::optional<TFileIdentity>& other) {
        return other && (!temporary->IsUnique() || !other->IsUnique() || other->SameId(*temporary));
    };
    return isTemporary(IdentityAt(target_)) ||
           (!folder.empty() && isTemporary(IdentityAt(LongPath(Join(folder, NameOf(target_))))));
}

// True when the file that was to be replaced is nowhere any more: no file has its name, and it is
// not in its folder where that folder is now (moved or renamed meanwhile).
bool TOutputFile::OldFileIsGone() const {
    if (!replaced_ || IsFile(target_)) return false;
    const std::u16string folder = FolderNow();
    if (folder.empty()) return false;  // moved out of sight, and the old file with it
    const std::u16string here = LongPath(Join(folder, NameOf(target_)));
    // A folder made at the name may have taken the old file's number on the disk; and where the
    // ids are not unique, the file there cannot be told to be the old one: the new content stays.
    return !IsFile(here) || !replaced_->IsUnique() || IdentityAt(here) != replaced_;
}

// Where the target's folder is now: where the system says its handle is, or, where the system
// cannot follow a renamed folder, the folder of its identity beside where it was. Empty when it
// cannot be found. A folder whose id is not unique is found only where the system says it is.
std::u16string TOutputFile::FolderNow() const {
    if (!folderIdentity_) return {};
    if (std::u16string final = FinalPath(folder_.Get()); !final.empty() && IdentityAt(final) == folderIdentity_) {
        return final;
    }
    if (!folderIdentity_->IsUnique()) return {};
    const std::u16string folder = folderPath_.substr(0, folderPath_.find_last_not_of(u"\\") + 1);
    const std::u16string parent = folder.substr(0, folder.find_last_of(u"\\:") + 1);
    WIN32_FIND_DATAW found;
    const TFindHandle search(parent.empty() ? TFindHandle() : TFindHandle(FindFirstFileW(Wide(parent + u"*"), &found)));
    if (!search) return {};
    do {
        const std::u16string name(U16(found.cFileName));
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == u"." || name == u"..") continue;
        if (IdentityAt(LongPath(parent + name)) == folderIdentity_) return parent + name;
    } while (FindNextFileW(search.Get(), &found));
    return {};
}

}  // namespace zarn
