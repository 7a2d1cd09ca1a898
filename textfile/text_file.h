// Text files on Windows: the input read in pieces, the output written to a temporary file that
// replaces the destination only when it is complete.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "textfile/text_stream.h"
#include "win/background_work.h"
#include "win/file_access.h"
#include "win/handle.h"
#include "win/paths.h"

namespace zarn {

// The file to read, open for reading (others may read it too) from construction to Close or
// destruction. Construction fails with the open message; a failing read with the read message.
// A read ahead, and the work on what it read, go on in a thread of its own while the caller works
// on the last piece.
class TInputFile final : public TByteSource {
public:
    explicit TInputFile(const std::u16string& path);
    std::size_t Read(char* buffer, std::size_t capacity) override;
    void ReadAhead(char* buffer, std::size_t capacity, TPieceWork* work) noexcept override;
    void Settle() noexcept override { readAhead_.Settle(); }
    HANDLE Handle() const { return file_.Get(); }
    void Close();  // before the output takes the place of the input

private:
    // One read into a buffer of the caller's, then the caller's work on it; got and read are its
    // outcome.
    struct TRead {
        HANDLE file;
        char* buffer;
        std::size_t capacity;
        TPieceWork* work = nullptr;
        std::size_t got = 0;
        bool read = false;
        void Run() noexcept;
    };

    TFileHandle file_;
    TBackgroundWork<TRead> readAhead_;  // ends before the file is closed
};

// RenameByHandle, or what a test puts in its place.
using TRenameFile = bool (*)(HANDLE file, const std::u16string& path);

// The output: a temporary file beside the destination, which Commit puts in the destination's
// place. Until then the destination keeps its content (or stays absent): the temporary file is
// marked for deletion by the system while it is written, so that neither a failure nor a killed
// run leaves it behind, and it is held open, shared with nobody, from its creation until it has
// taken the destination's place, so that no other run or program can open, move or delete it
// meanwhile. A destination that is a link to a file receives the content through the link: the
// temporary file lies beside the file linked to, and the link stays. What another program holds
// for a moment (the destination, the temporary file's name) is waited for, about two seconds.
//
// Construction fails with the create message when the destination could not be created (folder
// missing or not writable, a read-only, hidden or system file, a file held open elsewhere, the
// running program's own file); a failing write with the write message. Writes go on in a thread
// of their own while the caller fills its next piece.
class TOutputFile final : public TByteSink {
public:
    // input: the open input, which may be the destination itself.
    TOutputFile(const std::u16string& path, HANDLE input, TRenameFile rename = RenameByHandle);
    ~TOutputFile() override;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // True when the destination is the input file itself (also through a link to it).
    bool ReplacesInput() const { return replacesInput_; }
    void Write(const char* bytes, std::size_t count) override;
    void Settle() noexcept override { writeBehind_.Settle(); }
    // Makes the complete temporary file durable and puts it in the destination's place, in one
    // step. Whatever happens, the destination ends with its old content or the complete new one.
    // Only where the old file is gone and the new content cannot take its name does the
    // temporary file stay, read-only, and the failure names it.
    void Commit();

private:
    // One write of bytes of the caller's; written is its outcome.
    struct TWrite {
        HANDLE file;
        const char* bytes;
        std::size_t count;
        bool written = false;
        void Run() noexcept;
    };

    [[noreturn]] void FailCreate(DWORD error) const;
    void CheckDestination(HANDLE input);
    void CreateTemporary();
    bool TookTheName() const;
    bool OldFileIsGone() const;
    std::u16string FolderNow() const;

    std::u16string path_;           // the destination as named, for messages
    std::u16string target_;         // the file to replace, as the file calls take it: the
                                    // destination, or the file it links to
    std::u16string temporaryPath_;  // beside the target
    std::u16string folderPath_;     // the target's folder, with its separator
    TFileHandle folder_;            // the same, to find it again if it is moved
    std::optional<TFileIdentity> folderIdentity_;
    TFileHandle temporary_;         // open until the temporary file is in place or gone
    bool marked_ = false;           // the temporary file is marked for deletion by the system
    std::optional<TFileIdentity> replaced_;  // the file to replace, as it was when checked
    bool replacesInput_ = false;
    TRenameFile rename_;
    TBackgroundWork<TWrite, kWritesBehind> writeBehind_;  // ends before the temporary file is closed
};

}  // namespace zarn
