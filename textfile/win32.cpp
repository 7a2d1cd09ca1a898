#include "textfile/win32.h"

namespace zarn {

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.Release();
    }
    return *this;
}

HANDLE TFileHandle::Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
}

bool TFileHandle::Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    return CloseHandle(Release()) != FALSE;
}

bool TBackgroundWork::Begin(void (*job)(void*), void* context) {
    Wait();
    if (!thread_) {
        if (unavailable_) return false;
        work_ = TObjectHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        done_ = TObjectHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (work_ && done_) thread_ = TObjectHandle(CreateThread(nullptr, 0, Main, this, 0, nullptr));
        if (!thread_) {
            unavailable_ = true;
            return false;
        }
    }
    job_ = job;
    context_ = context;
    busy_ = true;
    SetEvent(work_.Get());
    return true;
}

void TBackgroundWork::Wait() noexcept {
    if (!busy_) return;
    WaitForSingleObject(done_.Get(), INFINITE);
    busy_ = false;
}

void TBackgroundWork::Stop() noexcept {
    if (!thread_) return;
    Wait();
    stop_ = true;
    SetEvent(work_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_ = TObjectHandle();
    stop_ = false;
}

DWORD WINAPI TBackgroundWork::Main(void* self) {
    auto& work = *static_cast<TBackgroundWork*>(self);
    for (;;) {
        WaitForSingleObject(work.work_.Get(), INFINITE);
        if (work.stop_) return 0;
        work.job_(work.context_);
        SetEvent(work.done_.Get());
    }
}

std::u16string SystemMessage(DWORD error) {
    wchar_t buffer[256];
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, error, 0,
        buffer, 256, nullptr);
    std::u16string text(U16(buffer, length));
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
    return text;
}

std::u16string FullPath(const std::u16string& path) {
    const DWORD size = GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring buffer(size, L'\0');
    const DWORD length = GetFullPathNameW(Wide(path), size, buffer.data(), nullptr);
    if (length == 0 || length >= size) return path;
    return std::u16string(U16(buffer.data(), length));
}

std::u16string LoadMessage(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size the call hands out a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::u16string(U16(text, static_cast<std::size_t>(length))) : std::u16string();
}

std::u16string FillMessage(std::u16string_view format, std::initializer_list<std::u16string_view> values) {
    std::u16string text;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' && value != values.end()) {
            text += *value++;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

}  // namespace zarn
