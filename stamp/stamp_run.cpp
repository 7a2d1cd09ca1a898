#include "stamp/stamp_run.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "stamp/date_stamp.h"
#include "stamp/path_rules.h"
#include "stamp/record_stamper.h"
#include "textfile/cached_code_page.h"
#include "textfile/text_file.h"
#include "textfile/win32_code_page.h"
#include "win/failure.h"
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

void StampRun(const std::u16string& inputPath, const std::u16string& outputFolder, const TStartupSettings& settings) {
    const std::u16string outputPath = OutputPath(outputFolder, inputPath);
    const std::u16string stamp = TodaysStamp(settings);
    TInputFile input(inputPath);
    TWin32CodePage ansiPlatform(CP_ACP, 0, LoadMessage(IDS_CODE_PAGE_INVALID));
    TWin32CodePage utf8Platform(CP_UTF8, MB_ERR_INVALID_CHARS,
                                FillMessage(LoadMessage(IDS_BAD_UTF8), {FullPath(inputPath)}));
    // One set of caches for each thread that decodes.
    TCachedCodePage ansi(ansiPlatform), utf8(utf8Platform), aheadAnsi(ansiPlatform), aheadUtf8(utf8Platform);
    TOutputFile output(outputPath, input.Handle());
    const TReplacements replaced = StampText(input, {{ansi, utf8}, {aheadAnsi, aheadUtf8}}, stamp, output);
    input.Close();
    if (replaced.count == 0) {
        output.Commit();
        return;
    }
    // The only copy of the text is never given up for one that lost characters.
    if (output.ReplacesInput()) {
        throw TFailure(FillMessage(LoadMessage(IDS_CHARACTERS_NOT_HELD), {Decimal(replaced.line), replaced.first,
                                                                         CodePointOf(replaced.first), FullPath(outputPath)}));
    }
    output.Commit();
    throw TWarning(FillMessage(LoadMessage(IDS_CHARACTERS_REPLACED), {FullPath(outputPath), Decimal(replaced.count),
                                                                      Decimal(replaced.line), replaced.first,
                                                                      CodePointOf(replaced.first)}));
}

}  // namespace zarn
