#pragma once
// Non-copyable owners for every kind of system resource the installer holds. Each releases its
// resource exactly once, with the function that resource requires, and says by its type what
// it holds, so no caller has to cast what it gets back.

// First, in a block of its own: the Windows headers below need its types.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <string>
#include <utility>

namespace tazel::win32 {

template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.value_, Traits::Invalid()));
        return *this;
    }
    ~UniqueResource() { reset(); }

    void reset(T value = Traits::Invalid()) noexcept
    {
        if (value_ != Traits::Invalid())
            Traits::Close(value_);
        value_ = value;
    }
    T get() const noexcept { return value_; }
    T* put() noexcept
    {
        reset();
        return &value_;
    }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

private:
    T value_ = Traits::Invalid();
};

// Traits of the many handles whose "no handle" is null.
template <typename T>
struct NullMeansNone {
    static T Invalid() noexcept { return nullptr; }
};

// --- Kernel objects, files and modules ---

struct KernelHandleTraits : NullMeansNone<HANDLE> {
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
// Processes, threads and other kernel objects, whose "no handle" is null.
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;

// Files, whose "no handle" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;

// A search of a folder's entries (FindFirstFile), ended with FindClose.
struct FindTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { FindClose(h); }
};
using UniqueFind = UniqueResource<HANDLE, FindTraits>;

// A module the program loaded itself (LoadLibrary), not one borrowed with GetModuleHandle.
struct ModuleTraits : NullMeansNone<HMODULE> {
    static void Close(HMODULE m) noexcept { FreeLibrary(m); }
};
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;

// Text the system allocated for the program with LocalAlloc (FormatMessage's own buffer).
struct LocalMemoryTraits : NullMeansNone<wchar_t*> {
    static void Close(wchar_t* text) noexcept { LocalFree(text); }
};
using UniqueLocalText = UniqueResource<wchar_t*, LocalMemoryTraits>;

// Pages the program reserved and committed itself (VirtualAlloc), released whole.
struct VirtualMemoryTraits : NullMeansNone<void*> {
    static void Close(void* pages) noexcept { VirtualFree(pages, 0, MEM_RELEASE); }
};
using UniquePages = UniqueResource<void*, VirtualMemoryTraits>;

// Work of the process's thread pool (CreateThreadpoolWork): closed once no callback of it runs.
struct ThreadpoolWorkTraits : NullMeansNone<PTP_WORK> {
    static void Close(PTP_WORK work) noexcept
    {
        WaitForThreadpoolWorkCallbacks(work, FALSE);
        CloseThreadpoolWork(work);
    }
};
using UniqueThreadpoolWork = UniqueResource<PTP_WORK, ThreadpoolWorkTraits>;

// A file the program created under a name of its own, removed when it goes unless it was
// handed over (renamed onto its target) first.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) noexcept : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!path_.empty())
            DeleteFileW(path_.c_str());
    }
    const std::wstring& path() const noexcept { return path_; }
    // The file now belongs elsewhere: leave it in place.
    void release() noexcept { path_.clear(); }

private:
    std::wstring path_;
};

// --- Shell and COM ---

struct PidlTraits : NullMeansNone<PIDLIST_ABSOLUTE> {
    static void Close(PIDLIST_ABSOLUTE p) noexcept { CoTaskMemFree(p); }
};
using UniquePidl = UniqueResource<PIDLIST_ABSOLUTE, PidlTraits>;

// A COM interface pointer that releases its reference when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() noexcept
    {
        if (p_)
            std::exchange(p_, nullptr)->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// COM initialised for the one thread for as long as the scope lasts.
class ComApartment {
public:
    ComApartment() noexcept : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    [[nodiscard]] HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// A string of the automation type; null is the empty string there.
struct BstrTraits : NullMeansNone<BSTR> {
    static void Close(BSTR text) noexcept { SysFreeString(text); }
};
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;

// An automation value, empty to begin with, cleared (with whatever it came to hold) when it goes.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }
    VARIANT* get() noexcept { return &value_; }
    const VARIANT* get() const noexcept { return &value_; }

private:
    VARIANT value_;
};

// --- GDI ---

template <typename T>
struct GdiObjectTraits : NullMeansNone<T> {
    static void Close(T object) noexcept { DeleteObject(object); }
};
using UniqueBitmap = UniqueResource<HBITMAP, GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueResource<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueResource<HBRUSH, GdiObjectTraits<HBRUSH>>;

struct IconTraits : NullMeansNone<HICON> {
    static void Close(HICON icon) noexcept { DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<HICON, IconTraits>;

// A device context of the program's own making (CreateCompatibleDC), not one borrowed with GetDC.
struct MemoryDcTraits : NullMeansNone<HDC> {
    static void Close(HDC dc) noexcept { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcTraits>;

// The whole screen's device context, borrowed with GetDC and given back with ReleaseDC.
class ScreenDc {
public:
    ScreenDc() noexcept : dc_(GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc()
    {
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

// The device context of one WM_PAINT, from BeginPaint to EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc()
    {
        if (dc_)
            EndPaint(window_, &paint_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// Puts an object into a DC for one scope and puts the previous one back, so that the object can
// be deleted afterwards while not selected anywhere. A null object selects nothing.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect()
    {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace tazel::win32
