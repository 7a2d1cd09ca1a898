// Text files on Windows: the input read in pieces, the output written to a temporary file that
// replaces the destination only when it is complete, and the platform's code-page conversions.
#pragma once

#include <string>
#include <vector>

#include "textfile/text_stream.h"
#include "textfile/win32.h"

namespace zarn {

// The file to stamp, open for reading (others may read it too) from construction to
// destruction. Construction fails with the open message; a failing read with the read message.
// A read ahead goes on in a thread of its own while the caller works on the last piece.
class TInputFile final : public TByteSource {
public:
    explicit TInputFile(const std::u16string& path);
    std::size_t Read(char* buffer, std::size_t capacity) override;
    void ReadAhead(char* buffer, std::size_t capacity) noexcept override;
    void Settle() noexcept override { background_.Wait(); }
    HANDLE Handle() const { return file_.Get(); }
    void Close();  // before the output takes the place of the input

private:
    bool ReadNow(char* buffer, std::size_t capacity, std::size_t& got);
    static void ReadAheadJob(void* self);

    TFileHandle file_;
    // The read ahead: its buffer (null when there is none), and its outcome once waited for.
    char* aheadBuffer_ = nullptr;
    std::size_t aheadCapacity_ = 0;
    std::size_t aheadGot_ = 0;
    bool aheadRead_ = false;
    TBackgroundWork background_;  // ends before the file is closed
};

// The output: a temporary file beside the destination, which Commit puts in the destination's
// place. Until then the destination keeps its content (or stays absent); destruction without
// Commit removes the temporary file. Construction fails with the create message when the
// destination could not be created (folder missing or not writable, a read-only, hidden or
// system file, a file held open elsewhere); a failing write with the write message. Writes go on
// in a thread of their own while the caller fills its next piece.
class TOutputFile final : public TByteSink {
public:
    // input: the open input, which may be the destination itself.
    TOutputFile(const std::u16string& path, HANDLE input);
    ~TOutputFile() override;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    void Write(const char* bytes, std::size_t count) override;
    void Settle() noexcept override { background_.Wait(); }
    void Commit();

private:
    [[noreturn]] void FailCreate(DWORD error) const;
    void CheckDestination(HANDLE input);
    void CreateTemporary();
    bool WriteNow(const char* bytes, std::size_t count);
    static void WriteJob(void* self);

    std::u16string path_;
    std::u16string temporaryPath_;
    TFileHandle temporary_;
    bool destinationExists_ = false;
    bool committed_ = false;
    // The piece being written in the background, and whether a write has failed.
    const char* pendingBytes_ = nullptr;
    std::size_t pendingCount_ = 0;
    bool failed_ = false;
    TBackgroundWork background_;
};

// A code page of the platform (CP_ACP or CP_UTF8). Construction fails with the invalid code page
// message when the system does not know it. invalidText: the failure when bytes do not decode
// (with MB_ERR_INVALID_CHARS among decodeFlags).
class TWin32CodePage final : public TCodePage {
public:
    TWin32CodePage(UINT codePage, DWORD decodeFlags, std::u16string invalidText);
    const TCodePageShape& Shape() const override { return shape_; }
    std::size_t Decode(std::string_view bytes, char16_t* out) override;
    std::size_t MaxBytesPerUnit() const override { return maxBytesPerUnit_; }
    std::size_t Encode(std::u16string_view text, char* out) override;
    // By tables that are filled once, on first use, from the platform's own conversions.
    bool RoundTrips(std::string_view bytes) override;

private:
    void FillRoundTripTables();

    UINT codePage_;
    DWORD decodeFlags_;
    std::u16string invalidText_;
    TCodePageShape shape_;
    std::size_t maxBytesPerUnit_ = 1;
    bool roundTripTablesFilled_ = false;
    std::vector<bool> singleRoundTrips_;  // [byte]: a byte that is no lead byte comes back as itself
    std::vector<bool> pairRoundTrips_;    // [lead * 256 + trail], trail 0x40 and above
};

}  // namespace zarn
