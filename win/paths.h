// Paths as the system gives them. Text is UTF-16.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace zarn {

// The full path of the program's own file, whole however long it is.
std::u16string ProgramPath();

// The path expanded to a full path against the current directory; the path itself if that fails.
std::u16string FullPath(const std::u16string& path);

// The path of an open file as the system resolves it, links followed ("\\?\" form); empty when
// the system cannot tell.
std::u16string FinalPath(HANDLE file);

// Which file a handle is open on: its volume and its index there.
struct TFileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const TFileIdentity&) const = default;
};

// Nothing when the system cannot tell.
std::optional<TFileIdentity> IdentityOf(HANDLE file);

// True when both handles are known to be open on the same file.
bool SameFile(HANDLE a, HANDLE b);

}  // namespace zarn
