#include "stamp/stamp_run.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "stamp/date_stamp.h"
#include "stamp/path_rules.h"
#include "stamp/record_stamper.h"
#include "textfile/cached_code_page.h"
#include "textfile/text_file.h"
#include "textfile/win32_code_page.h"
#include "win/failure.h"
#include "win/file_access.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"

namespace zarn {

namespace {

[[noreturn]] void FailCodePage() { throw TFailure(LoadMessage(IDS_CODE_PAGE_INVALID)); }

std::u16string Decimal(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// "U+20BB7" for a character (a surrogate pair as the code point it stands for).
std::u16string CodePointOf(std::u16string_view character) {
    char32_t code = character[0];
    if (character.size() == 2) code = 0x10000 + ((code - 0xD800) << 10) + (character[1] - 0xDC00);
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
    return std::u16string(text, text + std::strlen(text));
}

// Texts one after another, each on a line of its own.
std::u16string Lines(const std::vector<std::u16string>& texts) {
    std::u16string joined;
    for (const std::u16string& text : texts) joined += (joined.empty() ? u"" : u"\n") + text;
    return joined;
}

}  // namespace

std::u16string TodaysStamp(const TStartupSettings& settings) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const auto stamp = RenderDateStamp(now.wYear, now.wMonth, now.wDay, settings.dateSeparator);
    if (!stamp) throw TFailure(LoadMessage(IDS_DATE_INVALID));
    // The stamp is never empty, so neither is any of its conversions: a count of 0 is a failure.
    const UINT codePage = settings.ansiCodePage;
    const int length = static_cast<int>(stamp->size());
    const int byteCount = WideCharToMultiByte(codePage, 0, Wide(stamp->data()), length, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0) FailCodePage();
    std::string bytes(static_cast<std::size_t>(byteCount), '\0');
    if (WideCharToMultiByte(codePage, 0, Wide(stamp->data()), length, bytes.data(), byteCount, nullptr, nullptr) !=
        byteCount) {
        FailCodePage();
    }
    const int unitCount = MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, nullptr, 0);
    if (unitCount <= 0) FailCodePage();
    std::u16string units(static_cast<std::size_t>(unitCount), u'\0');
    if (MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, Wide(units.data()), unitCount) != unitCount) {
        FailCodePage();
    }
    return units;
}

TStampRun::TStampRun(std::u16string outputFolder, const TStartupSettings& settings)
    : outputFolder_(std::move(outputFolder)), settings_(settings) {}

void TStampRun::Stamp(const std::u16string& inputPath) {
    const std::u16string outputPath = OutputPath(outputFolder_, inputPath);
    if (!stamp_) stamp_ = TodaysStamp(settings_);
    TInputFile input(inputPath);
    // A file named again (under any name) was stamped, or told of, already.
    if (std::u16string final = FinalPath(input.Handle()); !final.empty()) {
        if (std::find(inputs_.begin(), inputs_.end(), final) != inputs_.end()) return;
        inputs_.push_back(std::move(final));
    }
    // The name that this start wrote already (in a folder whose names ignore case, also under
    // another case) is not written again.
    if (const TFileHandle written = OpenForQuery(LongPath(outputPath))) {
        if (std::find(outputs_.begin(), outputs_.end(), FinalPath(written.Get())) != outputs_.end()) {
            throw TFailure(FillMessage(LoadMessage(IDS_OUTPUT_WRITTEN_ALREADY), {FullPath(inputPath), FullPath(outputPath)}));
        }
    }
    if (!ansiPlatform_) {
        ansiPlatform_.emplace(CP_ACP, 0, LoadMessage(IDS_CODE_PAGE_INVALID));
        ansi_.emplace(*ansiPlatform_);
        aheadAnsi_.emplace(*ansiPlatform_);
    }
    TWin32CodePage utf8Platform(CP_UTF8, MB_ERR_INVALID_CHARS, FillMessage(LoadMessage(IDS_BAD_UTF8), {FullPath(inputPath)}));
    // One set of caches for each thread that decodes.
    TCachedCodePage utf8(utf8Platform), aheadUtf8(utf8Platform);
    TOutputFile output(outputPath, input.Handle());
    const TTextChanges changes = StampText(input, {{*ansi_, utf8}, {*aheadAnsi_, aheadUtf8}}, *stamp_, output);
    input.Close();
    const TReplacements& replaced = changes.replaced;
    if (replaced.count == 0 && !changes.lastByteLeftOut) {
        Commit(output, outputPath);
        return;
    }
    // The only copy of the text is never given up for one that lost characters or a byte.
    std::vector<std::u16string> told;
    if (output.ReplacesInput()) {
        if (replaced.count != 0) {
            told.push_back(FillMessage(LoadMessage(IDS_CHARACTERS_NOT_HELD), {Decimal(replaced.line), replaced.first,
                                                                               CodePointOf(replaced.first), FullPath(outputPath)}));
        }
        if (changes.lastByteLeftOut) told.push_back(FillMessage(LoadMessage(IDS_LAST_BYTE_NOT_HELD), {FullPath(outputPath)}));
        throw TFailure(Lines(told));
    }
    Commit(output, outputPath);
    if (replaced.count != 0) {
        told.push_back(FillMessage(LoadMessage(IDS_CHARACTERS_REPLACED), {FullPath(outputPath), Decimal(replaced.count),
                                                                          Decimal(replaced.line), replaced.first,
                                                                          CodePointOf(replaced.first)}));
    }
    if (changes.lastByteLeftOut) told.push_back(FillMessage(LoadMessage(IDS_LAST_BYTE_LEFT_OUT), {FullPath(outputPath)}));
    throw TWarning(Lines(told));
}

// Puts the output in place, and notes its name as written.
void TStampRun::Commit(TOutputFile& output, const std::u16string& outputPath) {
    output.Commit();
    if (const TFileHandle written = OpenForQuery(LongPath(outputPath))) {
        if (std::u16string final = FinalPath(written.Get()); !final.empty()) outputs_.push_back(std::move(final));
    }
}

}  // namespace zarn
