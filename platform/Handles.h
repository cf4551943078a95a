#pragma once
// Non-copyable owners for the system resources the installer touches. Each releases its
// resource exactly once, with the function that resource requires.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

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

struct KernelHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
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

struct PidlTraits {
    static PIDLIST_ABSOLUTE Invalid() noexcept { return nullptr; }
    static void Close(PIDLIST_ABSOLUTE p) noexcept { CoTaskMemFree(p); }
};
using UniquePidl = UniqueResource<PIDLIST_ABSOLUTE, PidlTraits>;

struct ModuleTraits {
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE m) noexcept { FreeLibrary(m); }
};
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;

struct GdiObjectTraits {
    static HGDIOBJ Invalid() noexcept { return nullptr; }
    static void Close(HGDIOBJ o) noexcept { DeleteObject(o); }
};
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;

struct IconTraits {
    static HICON Invalid() noexcept { return nullptr; }
    static void Close(HICON icon) noexcept { DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<HICON, IconTraits>;

// A device context of the program's own making (CreateCompatibleDC), not one borrowed with GetDC.
struct MemoryDcTraits {
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC dc) noexcept { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcTraits>;

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
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

} // namespace tazel::win32
