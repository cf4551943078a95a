// A test build's injected failures of single system calls, for the failure paths no Wine prefix
// can provoke. The installer's code calls each system function through its import entry
// (__imp__Name@N); defined here, an entry points at a stand-in that fails as the environment
// variable TAZEL_TEST_FAULT says, and passes every other call on to the system. The product's
// code is the same as in the shipped installer; only this object, linked ahead of the import
// libraries, is added.
//
//   TAZEL_TEST_FAULT=NAME[:DETAIL]   NAME the function, DETAIL where a stand-in below asks for one

// First, in a block of its own: the Windows headers below need its types.
#include <windows.h>

#include <oleauto.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/OptionalFunction.h"

namespace {

// What the environment asks to fail.
struct Fault {
    wchar_t name[64] = {};
    wchar_t detail[64] = {};
};

Fault ReadFault() noexcept
{
    Fault fault;
    wchar_t text[128] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAZEL_TEST_FAULT", text, 128);
    if (length == 0 || length >= 128)
        return fault;
    if (wchar_t* colon = std::wcschr(text, L':')) {
        *colon = L'\0';
        lstrcpynW(fault.detail, colon + 1, 64);
    }
    lstrcpynW(fault.name, text, 64);
    return fault;
}

const Fault& Requested() noexcept
{
    static const Fault fault = ReadFault();
    return fault;
}

bool Injected(const wchar_t* name, const wchar_t* detail = nullptr) noexcept
{
    const Fault& fault = Requested();
    return lstrcmpW(fault.name, name) == 0 && (!detail || lstrcmpW(fault.detail, detail) == 0);
}

// The system's own function, for every call that is to pass.
template <typename Function>
Function Real(const wchar_t* dll, const char* name) noexcept
{
    return tazel::win32::OptionalFunction<Function>(GetModuleHandleW(dll), name);
}

bool EndsWith(const wchar_t* text, const wchar_t* ending) noexcept
{
    const size_t length = std::wcslen(text);
    const size_t tail = std::wcslen(ending);
    return tail <= length && lstrcmpiW(text + length - tail, ending) == 0;
}

// --- Files ---

// GetFullPathNameW:SUFFIX fails on a path ending in SUFFIX, as on a name the system cannot make whole.
DWORD WINAPI FakeGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* file)
{
    if (Injected(L"GetFullPathNameW") && EndsWith(path, Requested().detail)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return Real<decltype(&GetFullPathNameW)>(L"kernel32.dll", "GetFullPathNameW")(path, size, buffer, file);
}

// WriteFile: the disk full, as Windows reports it (Wine writes short instead).
BOOL WINAPI FakeWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (Injected(L"WriteFile")) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return Real<decltype(&WriteFile)>(L"kernel32.dll", "WriteFile")(file, data, size, written, overlapped);
}

// FlushFileBuffers: the device failing as the file goes to the disk.
BOOL WINAPI FakeFlushFileBuffers(HANDLE file)
{
    if (Injected(L"FlushFileBuffers")) {
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    return Real<decltype(&FlushFileBuffers)>(L"kernel32.dll", "FlushFileBuffers")(file);
}

// LoadResource: a resource found but not loadable.
HGLOBAL WINAPI FakeLoadResource(HMODULE module, HRSRC resource)
{
    if (Injected(L"LoadResource")) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return Real<decltype(&LoadResource)>(L"kernel32.dll", "LoadResource")(module, resource);
}

// --- The shell ---

HRESULT WINAPI FakeSHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* item)
{
    if (Injected(L"SHGetSpecialFolderLocation")) {
        *item = nullptr;
        return E_FAIL;
    }
    return Real<decltype(&SHGetSpecialFolderLocation)>(L"shell32.dll", "SHGetSpecialFolderLocation")(owner, folder,
                                                                                                     item);
}

BOOL WINAPI FakeSHGetPathFromIDListW(PCIDLIST_ABSOLUTE item, LPWSTR path)
{
    if (Injected(L"SHGetPathFromIDListW"))
        return FALSE;
    return Real<decltype(&SHGetPathFromIDListW)>(L"shell32.dll", "SHGetPathFromIDListW")(item, path);
}

// --- COM ---

HRESULT WINAPI FakeCoInitializeEx(LPVOID reserved, DWORD model)
{
    if (Injected(L"CoInitializeEx"))
        return E_UNEXPECTED;
    return Real<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx")(reserved, model);
}

// The scripting runtime's object as the installer asks it, with FolderExists failing as
// FolderExists:DETAIL says: names (not found by name), invoke (the call fails), exception (it
// raises one, its texts filled in only when asked) or type (it answers a number).
class FolderExistsFault final : public IDispatch {
public:
    explicit FolderExistsFault(IDispatch* real) noexcept : real_(real) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_IDispatch) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0) {
            real_->Release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return real_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override
    {
        return real_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override
    {
        if (Injected(L"FolderExists", L"names"))
            return DISP_E_UNKNOWNNAME;
        return real_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override
    {
        if (Injected(L"FolderExists", L"invoke"))
            return RPC_E_DISCONNECTED;
        if (Injected(L"FolderExists", L"exception")) {
            exception->pfnDeferredFillIn = FillIn;
            return DISP_E_EXCEPTION;
        }
        if (Injected(L"FolderExists", L"type")) {
            result->vt = VT_I4;
            result->lVal = 1;
            return S_OK;
        }
        return real_->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
    }

private:
    // "Permission denied", as the scripting runtime raises it.
    static HRESULT STDMETHODCALLTYPE FillIn(EXCEPINFO* exception)
    {
        exception->scode = static_cast<SCODE>(0x800A0046);
        exception->bstrSource = SysAllocString(L"Scripting.FileSystemObject");
        exception->bstrDescription = SysAllocString(L"Permission denied\r\n");
        return S_OK;
    }

    IDispatch* real_;
    ULONG references_ = 1;
};

// CoCreateInstance:scripting fails the scripting object, CoCreateInstance:imaging the imaging
// component's factory; FolderExists:... wraps the scripting object.
HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    const auto real = Real<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    CLSID scripting = {};
    const bool isScripting =
        SUCCEEDED(CLSIDFromProgID(L"Scripting.FileSystemObject", &scripting)) && IsEqualCLSID(clsid, scripting);
    if (isScripting && Injected(L"CoCreateInstance", L"scripting"))
        return E_ACCESSDENIED;
    if (!isScripting && Injected(L"CoCreateInstance", L"imaging"))
        return REGDB_E_CLASSNOTREG;
    const HRESULT hr = real(clsid, outer, context, iid, object);
    if (FAILED(hr) || !isScripting || !Injected(L"FolderExists") || iid != IID_IDispatch)
        return hr;
    *object = static_cast<IDispatch*>(new FolderExistsFault(static_cast<IDispatch*>(*object)));
    return hr;
}

// --- Windows and drawing ---

ATOM WINAPI FakeRegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (Injected(L"RegisterClassExW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    return Real<decltype(&RegisterClassExW)>(L"user32.dll", "RegisterClassExW")(windowClass);
}

// CreateWindowExW fails for the installer's own window only; its line controls and the
// system's boxes are made as ever.
HWND WINAPI FakeCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width,
                                int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter)
{
    if (Injected(L"CreateWindowExW") && !parent) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Real<decltype(&CreateWindowExW)>(L"user32.dll", "CreateWindowExW")(
        exStyle, className, title, style, x, y, width, height, parent, menu, instance, parameter);
}

HDC WINAPI FakeBeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    if (Injected(L"BeginPaint")) {
        *paint = {};
        return nullptr;
    }
    return Real<decltype(&BeginPaint)>(L"user32.dll", "BeginPaint")(window, paint);
}

HFONT WINAPI FakeCreateFontIndirectW(const LOGFONTW* font)
{
    if (Injected(L"CreateFontIndirectW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Real<decltype(&CreateFontIndirectW)>(L"gdi32.dll", "CreateFontIndirectW")(font);
}

HBITMAP WINAPI FakeCreateCompatibleBitmap(HDC dc, int width, int height)
{
    if (Injected(L"CreateCompatibleBitmap"))
        return nullptr;
    return Real<decltype(&CreateCompatibleBitmap)>(L"gdi32.dll", "CreateCompatibleBitmap")(dc, width, height);
}

HBITMAP WINAPI FakeCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                    DWORD offset)
{
    if (Injected(L"CreateDIBSection")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Real<decltype(&CreateDIBSection)>(L"gdi32.dll", "CreateDIBSection")(dc, info, usage, bits, section, offset);
}

BOOL WINAPI FakeGetTextExtentPoint32W(HDC dc, LPCWSTR text, int length, LPSIZE size)
{
    if (Injected(L"GetTextExtentPoint32W"))
        return FALSE;
    return Real<decltype(&GetTextExtentPoint32W)>(L"gdi32.dll", "GetTextExtentPoint32W")(dc, text, length, size);
}

// --- Decoding a compressed entry (the stub with the decoder) ---

// VirtualAlloc: no memory for the decoded entry.
LPVOID WINAPI FakeVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protection)
{
    if (Injected(L"VirtualAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return Real<decltype(&VirtualAlloc)>(L"kernel32.dll", "VirtualAlloc")(address, size, type, protection);
}

// GetSystemInfo: one processor, so that the decoder decodes every chunk on the installer's own
// thread, whatever machine the tests run on.
void WINAPI FakeGetSystemInfo(LPSYSTEM_INFO info)
{
    Real<decltype(&GetSystemInfo)>(L"kernel32.dll", "GetSystemInfo")(info);
    if (Injected(L"GetSystemInfo"))
        info->dwNumberOfProcessors = 1;
}

} // namespace

// The import entries themselves, by the names the linker gives them (stdcall: "@" and the bytes
// of arguments).
#define TAZEL_INTERPOSE(function, bytes)                                                                               \
    extern "C" void* ImportEntry_##function __asm__("__imp__" #function "@" #bytes);                                   \
    void* ImportEntry_##function = reinterpret_cast<void*>(&Fake##function)

TAZEL_INTERPOSE(GetFullPathNameW, 16);
TAZEL_INTERPOSE(WriteFile, 20);
TAZEL_INTERPOSE(FlushFileBuffers, 4);
TAZEL_INTERPOSE(LoadResource, 8);
TAZEL_INTERPOSE(SHGetSpecialFolderLocation, 12);
TAZEL_INTERPOSE(SHGetPathFromIDListW, 8);
TAZEL_INTERPOSE(CoInitializeEx, 8);
TAZEL_INTERPOSE(CoCreateInstance, 20);
TAZEL_INTERPOSE(RegisterClassExW, 4);
TAZEL_INTERPOSE(CreateWindowExW, 48);
TAZEL_INTERPOSE(BeginPaint, 8);
TAZEL_INTERPOSE(CreateFontIndirectW, 4);
TAZEL_INTERPOSE(CreateCompatibleBitmap, 12);
TAZEL_INTERPOSE(CreateDIBSection, 24);
TAZEL_INTERPOSE(GetTextExtentPoint32W, 16);
TAZEL_INTERPOSE(VirtualAlloc, 16);
TAZEL_INTERPOSE(GetSystemInfo, 4);
