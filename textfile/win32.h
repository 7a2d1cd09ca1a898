// The Win32 side of the program: handle ownership, the system's error texts and the program's
// messages. Everything here is on the Win32 side of the boundary; text crosses it as UTF-16
// (wchar_t and char16_t are the same size on Windows).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <string_view>

namespace zarn {

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string_view U16(const wchar_t* text, std::size_t length) {
    return {reinterpret_cast<const char16_t*>(text), length};
}

// Owns a file handle; INVALID_HANDLE_VALUE is the empty value. Move-only.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(HANDLE handle) : handle_(handle) {}
    TFileHandle(TFileHandle&& other) noexcept : handle_(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle() { Close(); }

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release();
    bool Close();  // false when CloseHandle failed (GetLastError tells why); true when empty

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Owns a handle of a kernel object other than a file (a thread, an event); null is the empty
// value. Move-only.
class TObjectHandle {
public:
    TObjectHandle() = default;
    explicit TObjectHandle(HANDLE handle) : handle_(handle) {}
    TObjectHandle(TObjectHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    TObjectHandle& operator=(TObjectHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    TObjectHandle(const TObjectHandle&) = delete;
    TObjectHandle& operator=(const TObjectHandle&) = delete;
    ~TObjectHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

// Runs one job at a time on a thread of its own, started with the first job. The job's results
// belong to the caller again once Wait has returned. The hand-over is through a slim lock and a
// condition variable, which need no round trip through the system when nobody has to wait.
class TBackgroundWork {
public:
    TBackgroundWork() = default;
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;
    ~TBackgroundWork() { Stop(); }

    // Hands the job over after waiting for the last one; false when no thread could be started,
    // so that the caller does the job itself.
    bool Begin(void (*job)(void*), void* context);
    void Wait() noexcept;
    void Stop() noexcept;  // waits for the job and ends the thread

private:
    static DWORD WINAPI Main(void* self);

    TObjectHandle thread_;
    SRWLOCK lock_ = SRWLOCK_INIT;  // guards the fields below
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    void (*job_)(void*) = nullptr;
    void* context_ = nullptr;
    bool hasJob_ = false;  // a job is handed over and not yet done
    bool stop_ = false;
    bool unavailable_ = false;
};

// Owns a search handle of FindFirstFileW; INVALID_HANDLE_VALUE is the empty value. Move-only.
class TFindHandle {
public:
    explicit TFindHandle(HANDLE handle) : handle_(handle) {}
    TFindHandle(TFindHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    TFindHandle& operator=(TFindHandle&&) = delete;
    ~TFindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// Owns a window; destroys it at the end. Move-only.
class TWindowHandle {
public:
    TWindowHandle() = default;
    explicit TWindowHandle(HWND window) : window_(window) {}
    TWindowHandle(TWindowHandle&& other) noexcept : window_(other.window_) { other.window_ = nullptr; }
    TWindowHandle(const TWindowHandle&) = delete;
    TWindowHandle& operator=(const TWindowHandle&) = delete;
    TWindowHandle& operator=(TWindowHandle&& other) noexcept {
        std::swap(window_, other.window_);
        return *this;
    }
    ~TWindowHandle() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    HWND Get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// The system's text for an error code, with spaces, control characters and full stops removed
// from its end; empty when there is none or it does not fit 256 units.
std::u16string SystemMessage(DWORD error);

// The path expanded to a full path against the current directory; the path itself if that fails.
std::u16string FullPath(const std::u16string& path);

// A message of the program's string table, verbatim.
std::u16string LoadMessage(UINT id);

// A message template with its "%s" placeholders filled in order.
std::u16string FillMessage(std::u16string_view format, std::initializer_list<std::u16string_view> values);

}  // namespace zarn
