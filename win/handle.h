// Ownership of the system's handles: one move-only template, the close function and the empty
// value as its policy. Moving closes what the target held and takes the source's handle.
#pragma once

#include <windows.h>

#include <utility>

namespace zarn {

template <class TPolicy>
class THandle {
public:
    using TValue = typename TPolicy::TValue;

    THandle() = default;
    explicit THandle(TValue value) : value_(value) {}
    THandle(THandle&& other) noexcept : value_(other.Release()) {}
    THandle& operator=(THandle&& other) noexcept {
        if (this != &other) {
            Close();
            value_ = other.Release();
        }
        return *this;
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() { Close(); }

    TValue Get() const { return value_; }
    explicit operator bool() const { return value_ != TPolicy::Empty(); }
    TValue Release() { return std::exchange(value_, TPolicy::Empty()); }
    // False when the system could not close it (GetLastError tells why); true when empty.
    bool Close() { return !*this || TPolicy::Close(Release()); }

private:
    TValue value_ = TPolicy::Empty();
};

struct TFilePolicy {  // CreateFileW: INVALID_HANDLE_VALUE when empty
    using TValue = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};
struct TObjectPolicy {  // threads and other kernel objects: null when empty
    using TValue = HANDLE;
    static HANDLE Empty() { return nullptr; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};
struct TFindPolicy {  // FindFirstFileW
    using TValue = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return FindClose(handle) != FALSE; }
};
struct TWindowPolicy {  // a window, destroyed at the end
    using TValue = HWND;
    static HWND Empty() { return nullptr; }
    static bool Close(HWND window) { return DestroyWindow(window) != FALSE; }
};

using TFileHandle = THandle<TFilePolicy>;
using TObjectHandle = THandle<TObjectPolicy>;
using TFindHandle = THandle<TFindPolicy>;
using TWindowHandle = THandle<TWindowPolicy>;

}  // namespace zarn
