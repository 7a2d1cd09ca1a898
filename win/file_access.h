// Opening files for what the program does with them, and what goes with an open file: its mark
// for deletion, its rename, which file it is, and waiting out another program's short hold.
// Paths are as LongPath gives them. Every function that can fail leaves GetLastError telling why.
#pragma once

#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>

#include "win/handle.h"

namespace zarn {

// For questions about a file or folder (attributes, identity, final path): no access to its
// content, shared with everyone, in nobody's way.
TFileHandle OpenForQuery(const std::u16string& path);

// To read a file: others may read it too, but nobody may write it meanwhile.
TFileHandle OpenForReading(const std::u16string& path);

// To learn whether an existing file could be written now: read and write access, shared with
// nobody. Fails while anyone else has the file open.
TFileHandle OpenWriteProbe(const std::u16string& path);

// A new file to write, shared with nobody: while this handle is open no other program can open
// it, so it can neither be read half-written nor taken away. With DELETE access for its mark and
// its rename, and attribute access for its identity.
TFileHandle CreateExclusive(const std::u16string& path);

// An existing file to delete once nobody else has it open: DELETE access, shared with nobody, a
// link opened itself rather than followed.
TFileHandle OpenForDeletion(const std::u16string& path);

// While a file is marked, the system deletes it when its last handle closes, also when the
// process is killed. file: opened with DELETE access.
bool MarkForDeletion(HANDLE file, bool mark);

// Gives an open file the full path path, replacing a file there in one step (a file there is
// never missing in between). file: opened with DELETE access; it stays open on the file.
bool RenameByHandle(HANDLE file, const std::u16string& path);

// Which file a handle is open on, as the file system numbers it: its volume and its 128-bit id
// there (FILE_ID_INFO), or where the system has no such id, its volume serial and 64-bit index.
// Only a unique id tells a file: a file system that has no ids (some network redirectors, drives
// served by a program) may give 0 for every file, or one id to two files.
struct TFileIdentity {
    ULONGLONG volume;
    FILE_ID_128 id;
    bool extended;  // from FILE_ID_INFO: identities of the two kinds never compare equal
    bool operator==(const TFileIdentity& other) const { return volume == other.volume && SameId(other); }
    // The id alone, for two files known to lie on one volume (in one folder, say): a system may not
    // tell the volume of an open file whose folder was moved.
    bool SameId(const TFileIdentity& other) const {
        return extended == other.extended &&
               std::equal(std::begin(id.Identifier), std::end(id.Identifier), std::begin(other.id.Identifier));
    }
    // False for the id 0, which is no file's own, and for the id of all ones, which means none.
    bool IsUnique() const {
        const BYTE* const first = id.Identifier;
        const BYTE* const last = first + (extended ? sizeof id.Identifier : sizeof(ULONGLONG));  // an index fills 8 bytes
        return std::any_of(first, last, [](BYTE b) { return b != 0; }) && std::any_of(first, last, [](BYTE b) { return b != 0xFF; });
    }
};

// Nothing when the system cannot tell.
std::optional<TFileIdentity> IdentityOf(HANDLE file);

// What the system tells of the file that a handle is open on, for telling files apart.
struct TFileFacts {
    std::optional<TFileIdentity> identity;
    std::u16string finalPath;  // as FinalPath gives it; empty when the system cannot tell
    DWORD names = 0;           // its names (hard links); 0 when the system cannot tell
};

TFileFacts FactsOf(HANDLE file);

// Whether two files are one, as far as the system's answers prove it:
// - Different where both ids are unique and differ, or where the final paths differ and one of
//   the files has a single name (such a file has one path);
// - Same where the final paths are equal (one name is one file at a time), or where unique ids are
//   equal and each file has several names (hard links, which only the id tells apart);
// - Unknown otherwise: ids that are not unique prove nothing, and equal ids of files that each have
//   one name at different paths are a file system's collision, not one file.
enum class TSameness { Same, Different, Unknown };
TSameness Sameness(const TFileFacts& a, const TFileFacts& b);

// The identity of the file at path now; nothing when there is none or it cannot be told.
std::optional<TFileIdentity> IdentityAt(const std::u16string& path);

// Waits between tries at a file that another program holds for a moment (a scanner, an indexer,
// a sync client, another run): growing sleeps, about two seconds in all.
inline constexpr DWORD kHoldSleepsMs[] = {5, 10, 20, 40, 80, 160, 300, 450, 450, 500};

// Tries attempt (which returns something that converts to true on success) until it succeeds,
// fails with an error not in transient, or the sleeps of kHoldSleepsMs have run out. Returns the
// last try's result, GetLastError its error.
template <class TAttempt>
auto RetryWhileHeld(TAttempt attempt, std::initializer_list<DWORD> transient) {
    for (DWORD sleep : kHoldSleepsMs) {
        auto result = attempt();
        if (result) return result;
        const DWORD error = GetLastError();
        if (std::find(transient.begin(), transient.end(), error) == transient.end()) return result;
        Sleep(sleep);
    }
    return attempt();
}

}  // namespace zarn
