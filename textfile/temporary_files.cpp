#include "textfile/temporary_files.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "win/file_access.h"
#include "win/handle.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

// A temporary file's name, read back.
struct TTemporaryName {
    DWORD process;
    unsigned attempt;
    std::uint64_t destination;
};

constexpr std::u16string_view kTemporaryPrefix = u"~zarn", kTemporarySuffix = u".tmp";

void AppendHex(std::u16string& text, std::uint64_t value, int minimumDigits) {
    int digits = 1;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = std::max(digits, minimumDigits) - 1; i >= 0; --i) text += u"0123456789abcdef"[(value >> (4 * i)) & 15];
}

// FNV-1a of a file name in upper case, as file names compare.
std::uint64_t NameHash(std::u16string name) {
    if (!name.empty()) CharUpperBuffW(Wide(name.data()), static_cast<DWORD>(name.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (char16_t unit : name) hash = (hash ^ unit) * 1099511628211ull;
    return hash;
}

// Reads a number of hexadecimal digits up to the separator end, which it steps over.
bool TakeHex(std::u16string_view& text, std::u16string_view end, std::uint64_t& value, std::size_t mostDigits) {
    const std::size_t digits = text.find(end);
    if (digits == 0 || digits == std::u16string_view::npos || digits > mostDigits) return false;
    value = 0;
    for (char16_t unit : text.substr(0, digits)) {
        const int digit = unit >= u'0' && unit <= u'9' ? unit - u'0' : unit >= u'a' && unit <= u'f' ? unit - u'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    text.remove_prefix(digits + end.size());
    return true;
}

std::optional<TTemporaryName> ParseTemporaryName(std::u16string_view text) {
    if (!text.starts_with(kTemporaryPrefix)) return std::nullopt;
    text.remove_prefix(kTemporaryPrefix.size());
    std::uint64_t process, attempt, destination;
    if (!TakeHex(text, u"-", process, 8) || !TakeHex(text, u"-", attempt, 8) ||
        !TakeHex(text, kTemporarySuffix, destination, 16) || !text.empty()) {
        return std::nullopt;
    }
    return TTemporaryName{static_cast<DWORD>(process), static_cast<unsigned>(attempt), destination};
}

// True when the process that wrote the file is known to have ended: no process has its id, or
// the one that has it has exited (its object kept by a handle somewhere), or it is this one (which
// has made no temporary file yet, so the file is an earlier process's with the same id).
bool WriterHasEnded(DWORD process) {
    if (process == GetCurrentProcessId()) return true;
    const TObjectHandle writer(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (!writer) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD exitCode = 0;
    return GetExitCodeProcess(writer.Get(), &exitCode) && exitCode != STILL_ACTIVE;
}

}  // namespace

std::u16string TemporaryFileName(DWORD process, unsigned attempt, std::u16string_view destinationName) {
    std::u16string text(kTemporaryPrefix);
    AppendHex(text, process, 1);
    text += u'-';
    AppendHex(text, attempt, 1);
    text += u'-';
    AppendHex(text, NameHash(std::u16string(destinationName)), 16);
    return text += kTemporarySuffix;
}

void SweepTemporaries(const std::u16string& folder) {
    WIN32_FIND_DATAW found;
    const TFindHandle search(FindFirstFileW(Wide(folder + u"*"), &found));
    if (!search) return;
    std::vector<std::pair<std::u16string, TTemporaryName>> temporaries;
    std::vector<std::uint64_t> names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::u16string name(U16(found.cFileName));
        const auto temporary = ParseTemporaryName(name);
        if (!temporary) names.push_back(NameHash(std::move(name)));
        else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) temporaries.emplace_back(std::move(name), *temporary);
    } while (FindNextFileW(search.Get(), &found));
    if (temporaries.empty()) return;
    const TFileHandle folderHandle = OpenForQuery(folder);
    const std::u16string finalFolder = folderHandle ? FinalPath(folderHandle.Get()) : std::u16string();
    for (const auto& [name, temporary] : temporaries) {
        if (!WriterHasEnded(temporary.process)) continue;
        if (std::find(names.begin(), names.end(), temporary.destination) == names.end()) continue;
        const TFileHandle file = RetryWhileHeld([&] { return OpenForDeletion(LongPath(folder + name)); },
                                                {ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION});
        if (!file) continue;
        // Deleting through a link can reach the file linked to: only the file itself goes.
        const std::u16string final = FinalPath(file.Get());
        const std::u16string own = finalFolder + (finalFolder.ends_with(u'\\') ? u"" : u"\\") + name;
        if (finalFolder.empty() || CompareStringOrdinal(Wide(final.data()), static_cast<int>(final.size()), Wide(own.data()),
                                                        static_cast<int>(own.size()), TRUE) != CSTR_EQUAL) {
            continue;
        }
        MarkForDeletion(file.Get(), true);
    }
}

}  // namespace zarn
