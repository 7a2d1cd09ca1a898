#include "textfile/text_file.h"

#include "app/resource.h"
#include "textfile/failure.h"

namespace zarn {

namespace {

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return GetFileInformationByHandle(a, &infoA) && GetFileInformationByHandle(b, &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

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

bool TInputFile::ReadNow(char* buffer, std::size_t capacity, std::size_t& got) {
    DWORD count = 0;
    const bool read = ReadFile(file_.Get(), buffer, static_cast<DWORD>(capacity), &count, nullptr) != FALSE;
    got = count;
    return read;
}

void TInputFile::ReadAheadJob(void* self) {
    auto& input = *static_cast<TInputFile*>(self);
    input.aheadRead_ = input.ReadNow(input.aheadBuffer_, input.aheadCapacity_, input.aheadGot_);
}

void TInputFile::ReadAhead(char* buffer, std::size_t capacity) noexcept {
    aheadBuffer_ = buffer;
    aheadCapacity_ = capacity;
    if (!background_.Begin(ReadAheadJob, this)) aheadBuffer_ = nullptr;  // read when asked, then
}

std::size_t TInputFile::Read(char* buffer, std::size_t capacity) {
    std::size_t got = 0;
    if (aheadBuffer_ != nullptr) {
        background_.Wait();
        const bool same = buffer == aheadBuffer_ && capacity == aheadCapacity_;
        aheadBuffer_ = nullptr;
        if (!aheadRead_) throw TFailure(LoadMessage(IDS_READ_FAILED));
        if (same) return aheadGot_;
        // Read ahead into another buffer: read those bytes again.
        LARGE_INTEGER back;
        back.QuadPart = -static_cast<LONGLONG>(aheadGot_);
        if (!SetFilePointerEx(file_.Get(), back, nullptr, FILE_CURRENT)) throw TFailure(LoadMessage(IDS_READ_FAILED));
    }
    if (!ReadNow(buffer, capacity, got)) throw TFailure(LoadMessage(IDS_READ_FAILED));
    return got;
}

void TInputFile::Close() {
    background_.Stop();
    aheadBuffer_ = nullptr;
    file_.Close();
}

TOutputFile::TOutputFile(const std::u16string& path, HANDLE input) : path_(path) {
    CheckDestination(input);
    CreateTemporary();
}

TOutputFile::~TOutputFile() {
    background_.Stop();
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
        temporaryPath_ = folder + std::u16string(U16(name, lstrlenW(name)));
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

bool TOutputFile::WriteNow(const char* bytes, std::size_t count) {
    while (count > 0) {
        const DWORD request = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(temporary_.Get(), bytes, request, &written, nullptr) || written != request) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

void TOutputFile::WriteJob(void* self) {
    auto& output = *static_cast<TOutputFile*>(self);
    if (!output.failed_ && !output.WriteNow(output.pendingBytes_, output.pendingCount_)) output.failed_ = true;
}

// A failed write is raised by the next Write or by Commit.
void TOutputFile::Write(const char* bytes, std::size_t count) {
    background_.Wait();
    if (failed_) FailWrite();
    pendingBytes_ = bytes;
    pendingCount_ = count;
    if (!background_.Begin(WriteJob, this) && !WriteNow(bytes, count)) FailWrite();
}

void TOutputFile::Commit() {
    background_.Stop();
    if (failed_) FailWrite();
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

TWin32CodePage::TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText)
    : codePage_(codePage), decodeFlags_(decodeFlags), invalidText_(std::move(invalidText)) {
    CPINFOEXW info;
    if (!GetCPInfoExW(codePage, 0, &info)) throw TFailure(LoadMessage(IDS_CODE_PAGE_INVALID));
    if (info.CodePage == CP_UTF8) {
        shape_.kind = TCodePageShape::TKind::Utf8;
        maxBytesPerUnit_ = 3;  // a pair of surrogates gives four bytes, two units
    } else if (info.MaxCharSize > 1) {
        shape_.kind = TCodePageShape::TKind::DoubleByte;
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            for (int byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) shape_.leadByte[byte] = true;
        }
        maxBytesPerUnit_ = info.MaxCharSize;
    }
}

// Pieces are converted into buffers of a size known to suffice (at most one unit per byte, at
// most maxBytesPerUnit_ bytes per unit), so each conversion is one call with explicit lengths.
std::size_t TWin32CodePage::Decode(std::string_view bytes, char16_t* out) {
    if (bytes.empty()) return 0;
    // No byte gives more than one unit, so out's room of bytes.size() units always suffices.
    const int count = MultiByteToWideChar(codePage_, decodeFlags_, bytes.data(), static_cast<int>(bytes.size()),
                                          reinterpret_cast<wchar_t*>(out), static_cast<int>(bytes.size()));
    if (count == 0) throw TFailure(invalidText_);
    return static_cast<std::size_t>(count);
}

std::size_t TWin32CodePage::Encode(std::u16string_view text, char* out) {
    if (text.empty()) return 0;
    const int count = WideCharToMultiByte(codePage_, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                          static_cast<int>(text.size()), out,
                                          static_cast<int>(text.size() * maxBytesPerUnit_), nullptr, nullptr);
    if (count == 0) FailWrite();  // never drop text silently
    return static_cast<std::size_t>(count);
}

// Asks the platform to decode every character and to encode each result again; a character
// round-trips when it comes back as the same bytes.
void TWin32CodePage::FillRoundTripTables() {
    roundTripTablesFilled_ = true;
    singleRoundTrips_.assign(256, false);
    pairRoundTrips_.assign(256 * 256, false);
    if (shape_.kind == TCodePageShape::TKind::Utf8 || decodeFlags_ != 0) return;
    const bool doubleByte = shape_.kind == TCodePageShape::TKind::DoubleByte;
    auto isLead = [&](unsigned byte) { return doubleByte && shape_.leadByte[byte]; };
    std::vector<char16_t> units(512);
    std::string encoded(512 * maxBytesPerUnit_, '\0');

    std::string bytes;
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (!isLead(byte)) bytes += static_cast<char>(byte);
    }
    if (Decode(bytes, units.data()) == bytes.size()) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t length = Encode(std::u16string_view(&units[i], 1), encoded.data());
            singleRoundTrips_[static_cast<unsigned char>(bytes[i])] = length == 1 && encoded[0] == bytes[i];
        }
    }
    for (unsigned lead = 0; lead < 256; ++lead) {
        if (!isLead(lead)) continue;
        bytes.clear();
        for (unsigned trail = 0x40; trail < 256; ++trail) bytes += {static_cast<char>(lead), static_cast<char>(trail)};
        const std::size_t count = Decode(bytes, units.data());
        if (count != bytes.size() / 2) continue;
        const std::size_t length = Encode(std::u16string_view(units.data(), count), encoded.data());
        // Part the bytes into characters by their lead bytes and compare each with its pair.
        std::size_t pos = 0;
        for (std::size_t i = 0; i < count && pos < length; ++i) {
            const std::size_t size = isLead(static_cast<unsigned char>(encoded[pos])) ? 2 : 1;
            if (size == 2 && pos + 1 < length && encoded.compare(pos, 2, bytes, 2 * i, 2) == 0) {
                pairRoundTrips_[lead * 256 + static_cast<unsigned char>(bytes[2 * i + 1])] = true;
            }
            pos += size;
        }
    }
}

bool TWin32CodePage::RoundTrips(std::string_view bytes) {
    if (!roundTripTablesFilled_) FillRoundTripTables();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const bool doubleByte = shape_.kind == TCodePageShape::TKind::DoubleByte;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned byte = p[i];
        if (doubleByte && shape_.leadByte[byte]) {
            if (i + 1 == n || p[i + 1] < 0x40 || !pairRoundTrips_[byte * 256 + p[i + 1]]) return false;
            ++i;
        } else if (!singleRoundTrips_[byte]) {
            return false;
        }
    }
    return true;
}

}  // namespace zarn
