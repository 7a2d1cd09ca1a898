#include "stamp/stamp_run.h"

#include <windows.h>

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
    StampText(input, {{ansi, ansi, utf8}, {aheadAnsi, aheadAnsi, aheadUtf8}}, stamp, output);
    input.Close();
    output.Commit();
}

}  // namespace zarn
