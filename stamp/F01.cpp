#include "stamp/F01.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "stamp/command_line.h"
#include "stamp/path_rules.h"
#include "stamp/stamp_run.h"
#include "win/failure.h"
#include "win/messages.h"
#include "win/paths.h"
#include "win/utf16.h"
#include "win/window.h"

namespace zarn {

namespace {

// True when the path names an existing file, not a folder, as the system sees the path.
bool IsExistingFile(const std::u16string& typed) {
    const std::u16string path = LongPath(typed);
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) return false;
    WIN32_FIND_DATAW found;
    const TFindHandle search(FindFirstFileW(Wide(path), &found));
    return search && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

[[noreturn]] void FailProperty(UINT id, std::string_view name) { throw TFailure(FillMessage(LoadMessage(id), {Ascii(name)})); }

template <class T>
const T& ValueOf(const TFormProperty& property) {
    const T* value = std::get_if<T>(&property.value);
    if (value == nullptr) FailProperty(IDS_INVALID_PROPERTY_VALUE, property.name);
    return *value;
}

int IdentifierValue(const TFormProperty& property, std::initializer_list<std::pair<const char*, int>> known) {
    const std::string& name = ValueOf<TIdentifier>(property).name;
    for (const auto& [identifier, value] : known) {
        if (name == identifier) return value;
    }
    FailProperty(IDS_INVALID_PROPERTY_VALUE, property.name);
}

constexpr std::initializer_list<std::pair<const char*, int>> kColors = {
    {"clBtnFace", COLOR_BTNFACE}, {"clWindow", COLOR_WINDOW}, {"clWindowText", COLOR_WINDOWTEXT},
    {"clBtnText", COLOR_BTNTEXT}};
constexpr std::initializer_list<std::pair<const char*, int>> kCharsets = {
    {"DEFAULT_CHARSET", DEFAULT_CHARSET}, {"ANSI_CHARSET", ANSI_CHARSET}, {"SHIFTJIS_CHARSET", SHIFTJIS_CHARSET}};
constexpr const char* kFontStyles[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

}  // namespace

TTFZarn::TTFZarn(HINSTANCE instance, const TStartupSettings& settings, TStartReport& report)
    : instance_(instance), settings_(settings), report_(report) {
    const HRSRC resource = FindResourceW(instance, L"TTFZarn", MAKEINTRESOURCEW(10));  // RT_RCDATA
    const HGLOBAL loaded = resource != nullptr ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) throw TFailure(FillMessage(LoadMessage(IDS_RESOURCE_NOT_FOUND), {u"TTFZarn"}));
    const TFormDescription form =
        ReadForm(std::string_view(static_cast<const char*>(bytes), SizeofResource(instance, resource)),
                 FillMessage(LoadMessage(IDS_RESOURCE_CORRUPT), {u"TTFZarn"}));
    if (form.className != "TTFZarn") throw TFailure(FillMessage(LoadMessage(IDS_RESOURCE_CORRUPT), {u"TTFZarn"}));
    for (const TFormProperty& property : form.properties) SetProperty(property);
}

void TTFZarn::SetProperty(const TFormProperty& property) {
    const std::string& name = property.name;
    if (name == "Left") left_ = ValueOf<std::int32_t>(property);
    else if (name == "Top") top_ = ValueOf<std::int32_t>(property);
    else if (name == "Caption") caption_ = ValueOf<std::u16string>(property);
    else if (name == "ClientHeight") clientHeight_ = ValueOf<std::int32_t>(property);
    else if (name == "ClientWidth") clientWidth_ = ValueOf<std::int32_t>(property);
    else if (name == "Color") color_ = IdentifierValue(property, kColors);
    else if (name == "Font.Charset") font_.charset = IdentifierValue(property, kCharsets);
    else if (name == "Font.Color") font_.color = IdentifierValue(property, kColors);
    else if (name == "Font.Height") font_.height = ValueOf<std::int32_t>(property);
    else if (name == "Font.Name") font_.name = ValueOf<std::u16string>(property);
    else if (name == "Font.Style") {
        for (const std::string& style : ValueOf<TSetValue>(property)) {
            if (std::none_of(std::begin(kFontStyles), std::end(kFontStyles), [&](const char* s) { return style == s; })) {
                FailProperty(IDS_INVALID_PROPERTY_VALUE, name);
            }
        }
        font_.style = ValueOf<TSetValue>(property);
    } else if (name == "OldCreateOrder") oldCreateOrder_ = ValueOf<bool>(property);
    else if (name == "OnCreate") {
        // The handlers the class publishes, by name.
        const std::string& handler = ValueOf<TIdentifier>(property).name;
        if (handler != "FormCreate") FailProperty(IDS_METHOD_NOT_FOUND, handler);
        onCreate_ = &TTFZarn::FormCreate;
    } else if (name == "PixelsPerInch") pixelsPerInch_ = ValueOf<std::int32_t>(property);
    else if (name == "TextHeight") textHeight_ = ValueOf<std::int32_t>(property);
    else FailProperty(IDS_UNKNOWN_PROPERTY, name);
}

void TTFZarn::DoCreate() {
    if (onCreate_ != nullptr) (this->*onCreate_)();
}

void TTFZarn::CreateSystemWindow(HWND owner) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;  // the window handles no message itself
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(color_);
    windowClass.lpszClassName = L"TTFZarn";
    const DWORD style = WS_OVERLAPPEDWINDOW;  // never WS_VISIBLE
    RECT frame{0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    OffsetRect(&frame, left_ - frame.left, top_ - frame.top);
    window_ = CreateClassWindow(windowClass, 0, caption_, style, frame, owner);
}

void TTFZarn::FormCreate() {
    const std::vector<std::u16string> arguments = SplitCommandLine(U16(GetCommandLineW()));
    if (arguments.empty()) {
        Beep(2000, 100);
    } else {
        TStampRun run(FolderOf(ProgramPath()), settings_);
        for (const std::u16string& argument : arguments) {
            if (IsExistingFile(argument)) report_.Guard([&] { run.Stamp(argument); });
        }
        report_.Show();
    }
    PostQuitMessage(0);
}

}  // namespace zarn
