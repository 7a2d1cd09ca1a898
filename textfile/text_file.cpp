#include "textfile/text_file.h"

#include "win/failure.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return GetFileInformationByHandle(a, &infoA) && GetFileInformationByHandle(b, &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

[[noreturn]] void FailRead() { throw TFailure(LoadMessage(IDS_READ_FAILED)); }
[[noreturn]] void FailWrite() { throw TFailure(LoadMessage(IDS_WRITE_FAILED)); }

}  // namespace

TInputFile::TInputFile(const std::u16string& path)
    : file_(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL |
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    if (!file_) {
        const DWORD error = GetLastError();
        throw TFailure(FillMessage(LoadMessage(IDS_OPEN_FAILED), {FullPath(path), SystemMessage(error)}));
    }
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

TOutputFile::TOutputFile(const std::u16string& path, HANDLE input) : path_(path) {
    CheckDestination(input);
    CreateTemporary();
}

TOutputFile::~TOutputFile() {
    writeBehind_.Stop();
    if (committed_) return;
    temporary_.Close();
    if (!temporaryPath_.empty()) DeleteFileW(Wide(temporaryPath_));
}

void TOutputFile::FailCreate(DWORD error) const {
    throw TFailure(FillMessage(LoadMessage(IDS_CREATE_FAILED), {FullPath(path_), SystemMessage(error)}));
}

// Refuses what creating the destination in place would refuse: a folder, a read-only, hidden or
// system file, or a file that cannot be opened for writing now (held open elsewhere, no access).
void TOutputFile::CheckDestination(HANDLE input) {
    const DWORD attributes = GetFileAttributesW(Wide(path_));
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    destinationExists_ = true;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        FailCreate(ERROR_ACCESS_DENIED);
    }
    // The input, held open for reading, may be the destination: that is allowed.
    const TFileHandle query(CreateFileW(Wide(path_), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (query && SameFile(query.Get(), input)) return;
    const TFileHandle probe(CreateFileW(Wide(path_), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) destinationExists_ = false;
        else FailCreate(error);
    }
}

void TOutputFile::CreateTemporary() {
    // Beside the destination, so that replacing it is a rename on the same volume.
    const std::u16string folder = path_.substr(0, path_.find_last_of(u"\\:") + 1);
    wchar_t name[32];
    for (unsigned attempt = 0;; ++attempt) {
        wsprintfW(name, L"~zarn%lx-%x.tmp", GetCurrentProcessId(), attempt);
        temporaryPath_ = folder + std::u16string(U16(name));
        temporary_ = TFileHandle(CreateFileW(Wide(temporaryPath_), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (temporary_) return;
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
            temporaryPath_.clear();
            FailCreate(error);
        }
    }
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
    // Make the new content durable before it takes the place of the old.
    if (destinationExists_ && !FlushFileBuffers(temporary_.Get())) FailWrite();
    if (!temporary_.Close()) FailWrite();
    BOOL replaced = FALSE;
    if (destinationExists_) {
        replaced = ReplaceFileW(Wide(path_), Wide(temporaryPath_), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                nullptr);
    }
    if (!replaced && (!destinationExists_ || GetLastError() == ERROR_FILE_NOT_FOUND)) {
        replaced = MoveFileExW(Wide(temporaryPath_), Wide(path_), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!replaced) FailCreate(GetLastError());
    committed_ = true;
}

}  // namespace zarn
