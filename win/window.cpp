#include "win/window.h"

#include "win/failure.h"
#include "win/messages.h"
#include "win/utf16.h"

namespace zarn {

namespace {

[[noreturn]] void FailWindow(const WNDCLASSEXW& windowClass, DWORD error) {
    throw TFailure(FillMessage(LoadMessage(IDS_WINDOW_FAILED), {U16(windowClass.lpszClassName), SystemMessage(error)}));
}

}  // namespace

TWindowHandle CreateClassWindow(const WNDCLASSEXW& windowClass, DWORD exStyle, const std::u16string& text, DWORD style,
                                RECT frame, HWND owner) {
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        FailWindow(windowClass, GetLastError());
    }
    TWindowHandle window(CreateWindowExW(exStyle, windowClass.lpszClassName, Wide(text), style, frame.left, frame.top,
                                         frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                                         windowClass.hInstance, nullptr));
    if (!window) FailWindow(windowClass, GetLastError());
    return window;
}

}  // namespace zarn
