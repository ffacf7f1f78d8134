// Owners for Win32 handles. One template, one close trait per handle kind, so
// the type picks the right close call and the right "no handle" value.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type h) noexcept : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }

    Type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(Type h = Traits::invalid()) noexcept
    {
        if (h_ != Traits::invalid())
            Traits::close(h_);
        h_ = h;
    }
    // For APIs that hand the handle back through an out-parameter.
    Type* put() noexcept
    {
        reset();
        return &h_;
    }

private:
    Type h_ = Traits::invalid();
};

namespace traits {

// Process, thread, token, event: NULL means "none".
struct Kernel {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

// CreateFile and CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE means "none".
struct File {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

struct Find {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::FindClose(h); }
};

struct RegKey {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::RegCloseKey(h); }
};

struct Module {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::FreeLibrary(h); }
};

template <typename T>
struct GdiObject {
    using Type = T;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteObject(h); }
};

struct MemoryDc {
    using Type = HDC;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteDC(h); }
};

struct Icon {
    using Type = HICON;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DestroyIcon(h); }
};

// Memory the system allocated for the caller with LocalAlloc.
struct Local {
    using Type = HLOCAL;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::LocalFree(h); }
};

} // namespace traits

using Handle = UniqueHandle<traits::Kernel>;
using FileHandle = UniqueHandle<traits::File>;
using SnapshotHandle = UniqueHandle<traits::File>;
using FindHandle = UniqueHandle<traits::Find>;
using RegKey = UniqueHandle<traits::RegKey>;
using Module = UniqueHandle<traits::Module>;
using Bitmap = UniqueHandle<traits::GdiObject<HBITMAP>>;
using Font = UniqueHandle<traits::GdiObject<HFONT>>;
using Brush = UniqueHandle<traits::GdiObject<HBRUSH>>;
using Pen = UniqueHandle<traits::GdiObject<HPEN>>;
using Region = UniqueHandle<traits::GdiObject<HRGN>>;
using MemoryDc = UniqueHandle<traits::MemoryDc>;
using Icon = UniqueHandle<traits::Icon>;
using LocalMemory = UniqueHandle<traits::Local>;

// A window's device context, released to its window.
class WindowDc {
public:
    explicit WindowDc(HWND wnd) noexcept : wnd_(wnd), dc_(::GetDC(wnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc()
    {
        if (dc_)
            ::ReleaseDC(wnd_, dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND wnd_;
    HDC dc_;
};

// Selects a GDI object into a DC for one scope and puts the old one back.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;
    ~SelectObjectScope() { ::SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

} // namespace win
