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
        thread_ = TObjectHandle(CreateThread(nullptr, 0, Main, this, 0, nullptr));
        if (!thread_) {
            unavailable_ = true;
            return false;
        }
    }
    AcquireSRWLockExclusive(&lock_);
    job_ = job;
    context_ = context;
    hasJob_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    return true;
}

void TBackgroundWork::Wait() noexcept {
    AcquireSRWLockExclusive(&lock_);
    while (hasJob_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
}

void TBackgroundWork::Stop() noexcept {
    if (!thread_) return;
    Wait();
    AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_ = TObjectHandle();
    stop_ = false;
}

DWORD WINAPI TBackgroundWork::Main(void* self) {
    auto& work = *static_cast<TBackgroundWork*>(self);
    AcquireSRWLockExclusive(&work.lock_);
    for (;;) {
        while (!work.hasJob_ && !work.stop_) SleepConditionVariableSRW(&work.changed_, &work.lock_, INFINITE, 0);
        if (work.stop_) break;
        ReleaseSRWLockExclusive(&work.lock_);
        work.job_(work.context_);
        AcquireSRWLockExclusive(&work.lock_);
        work.hasJob_ = false;
        WakeAllConditionVariable(&work.changed_);
    }
    ReleaseSRWLockExclusive(&work.lock_);
    return 0;
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
