#include "stamp/F01.h"

#include <windows.h>

#include "stamp/command_line.h"
#include "stamp/stamp_run.h"
#include "textfile/win32.h"

namespace zarn {

namespace {

std::u16string ProgramPath() {
    wchar_t buffer[261];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 261);
    return std::u16string(U16(buffer, length));
}

// True when the path names an existing file, not a folder, as the system sees the path.
bool IsExistingFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) return false;
    WIN32_FIND_DATAW found;
    const TFindHandle search(FindFirstFileW(Wide(path), &found));
    return search && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

void TTFZarn::FormCreate() {
    const std::u16string outputFolder = FolderOf(ProgramPath());
    const std::u16string_view commandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
    const TArguments arguments = SplitCommandLine(commandLine);
    if (arguments.count == 0) {
        Beep(2000, 100);
    } else if (IsExistingFile(arguments.first)) {
        StampRun(arguments.first, outputFolder);
    }
    PostQuitMessage(0);
}

}  // namespace zarn
