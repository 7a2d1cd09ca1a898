#include "win/file_access.h"

#include <cstring>
#include <vector>

#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TFileHandle Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return TFileHandle(CreateFileW(Wide(path), access, share, nullptr, disposition, flags, nullptr));
}

}  // namespace

TFileHandle OpenForQuery(const std::u16string& path) {
    return Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

TFileHandle OpenForReading(const std::u16string& path) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

TFileHandle OpenWriteProbe(const std::u16string& path) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

TFileHandle CreateExclusive(const std::u16string& path) {
    return Open(path, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, CREATE_NEW,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

TFileHandle OpenForDeletion(const std::u16string& path) {
    return Open(path, DELETE | FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
}

bool MarkForDeletion(HANDLE file, bool mark) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = mark;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool RenameByHandle(HANDLE file, const std::u16string& path) {
    // The structure ends in the name, which runs past its declared end.
    const std::size_t nameBytes = path.size() * sizeof(char16_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes + sizeof(char16_t), 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, path.data(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

std::optional<TFileIdentity> IdentityOf(HANDLE file) {
    FILE_ID_INFO info;
    if (GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof info)) {
        return TFileIdentity{info.VolumeSerialNumber, info.FileId, true};
    }
    BY_HANDLE_FILE_INFORMATION basic;
    if (!GetFileInformationByHandle(file, &basic)) return std::nullopt;
    TFileIdentity identity{basic.dwVolumeSerialNumber, {}, false};
    const ULONGLONG index = static_cast<ULONGLONG>(basic.nFileIndexHigh) << 32 | basic.nFileIndexLow;
    std::memcpy(identity.id.Identifier, &index, sizeof index);
    return identity;
}

TFileFacts FactsOf(HANDLE file) {
    FILE_STANDARD_INFO standard;
    const bool counted = GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) != FALSE;
    return {IdentityOf(file), FinalPath(file), counted ? standard.NumberOfLinks : 0};
}

TSameness Sameness(const TFileFacts& a, const TFileFacts& b) {
    const bool unique = a.identity && b.identity && a.identity->IsUnique() && b.identity->IsUnique();
    if (unique && !(*a.identity == *b.identity)) return TSameness::Different;
    const bool paths = !a.finalPath.empty() && !b.finalPath.empty();
    if (paths && a.finalPath == b.finalPath) return TSameness::Same;
    if (paths && (a.names == 1 || b.names == 1)) return TSameness::Different;
    return unique ? TSameness::Same : TSameness::Unknown;
}

std::optional<TFileIdentity> IdentityAt(const std::u16string& path) {
    const TFileHandle file = OpenForQuery(path);
    return file ? IdentityOf(file.Get()) : std::nullopt;
}

}  // namespace zarn
