#include "stamp/stamp_run.h"

#include "app/resource.h"
#include "stamp/command_line.h"
#include "stamp/date_stamp.h"
#include "stamp/record_stamper.h"
#include "textfile/failure.h"
#include "textfile/text_file.h"

namespace zarn {

namespace {

struct TStartupSettings {
    char16_t dateSeparator = u'/';
    UINT ansiCodePage = CP_ACP;
};

TStartupSettings startupSettings;

// The stamp for today, carried through the ANSI code page as 8-bit text and back, so that a
// separator the code page cannot hold is replaced the way the code page replaces it.
std::u16string TodaysStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const auto stamp = RenderDateStamp(now.wYear, now.wMonth, now.wDay, startupSettings.dateSeparator);
    if (!stamp) throw TFailure(LoadMessage(IDS_DATE_INVALID));
    const UINT codePage = startupSettings.ansiCodePage;
    const auto* text = reinterpret_cast<const wchar_t*>(stamp->data());
    const int length = static_cast<int>(stamp->size());
    const int byteCount = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(byteCount), '\0');
    WideCharToMultiByte(codePage, 0, text, length, bytes.data(), byteCount, nullptr, nullptr);
    const int unitCount = MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, nullptr, 0);
    std::wstring units(static_cast<std::size_t>(unitCount), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, units.data(), unitCount);
    return std::u16string(U16(units.data(), units.size()));
}

}  // namespace

void ReadStartupSettings() {
    wchar_t separator[2];
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SDATE, separator, 2) > 0) {
        startupSettings.dateSeparator = static_cast<char16_t>(separator[0]);
    }
    startupSettings.ansiCodePage = GetACP();
}

void StampRun(const std::u16string& inputPath, const std::u16string& outputFolder) {
    const std::u16string outputPath = OutputPath(outputFolder, inputPath);
    const std::u16string stamp = TodaysStamp();
    TInputFile input(inputPath);
    TWin32CodePage ansi(CP_ACP, 0, LoadMessage(IDS_CODE_PAGE_INVALID));
    TWin32CodePage utf8(CP_UTF8, MB_ERR_INVALID_CHARS, FillMessage(LoadMessage(IDS_BAD_UTF8), {FullPath(inputPath)}));
    TOutputFile output(outputPath, input.Handle());
    StampText(input, ansi, utf8, stamp, output);
    input.Close();
    output.Commit();
}

}  // namespace zarn
