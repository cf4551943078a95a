// The control for the planted-DLL scenario: a program that uses the same system services as
// the installer (winmm by name, the scripting runtime's FileSystemObject, WIC, the common
// application data folder, a themed window, the folder browse dialog) but leaves the DLL search
// as Windows sets it up, with the program's own folder first. Run from a folder holding planted
// DLLs, it shows which of them the system, under the current Wine and its settings, would take
// from there; the installer is expected to take none.
//
// Exit status: 0 when every service answered, else the number of the first step that did not
// (a planted DLL standing in for a real one may well break a step; the evidence is what counts).

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <wincodec.h>

#include "platform/Owners.h"

namespace {

using tazel::win32::ComApartment;
using tazel::win32::ComPtr;
using tazel::win32::UniqueModule;
using tazel::win32::UniquePidl;

constexpr wchar_t kWindowClass[] = L"TazelUnhardenedControl";
constexpr wchar_t kWindowTitle[] = L"Unhardened control";

enum Step : int { Winmm = 10, Com, Scripting, Imaging, SpecialFolder, Window };

// As an installer without the hardening would: the bare name, searched the default way.
bool UseWinmm()
{
    UniqueModule winmm(LoadLibraryW(L"winmm.dll"));
    if (!winmm)
        return false;
    using TimeGetTimeFn = DWORD(WINAPI*)();
    const auto timeGetTime =
        reinterpret_cast<TimeGetTimeFn>(reinterpret_cast<void (*)()>(GetProcAddress(winmm.get(), "timeGetTime")));
    return timeGetTime != nullptr;
}

bool UseScriptingRuntime()
{
    CLSID clsid = {};
    if (FAILED(CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid)))
        return false;
    ComPtr<IDispatch> fso;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, fso.put_void())))
        return false;
    wchar_t method[] = L"FolderExists";
    LPOLESTR names[] = {method};
    DISPID id = 0;
    return SUCCEEDED(fso->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

bool UseImaging()
{
    ComPtr<IWICImagingFactory> factory;
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      factory.put_void()));
}

bool UseSpecialFolder()
{
    UniquePidl item;
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_APPDATA, item.put()) != S_OK || !item)
        return false;
    wchar_t buffer[MAX_PATH] = {};
    return SHGetPathFromIDListW(item.get(), buffer) != FALSE;
}

class OwnedWindow {
public:
    explicit OwnedWindow(HWND window) noexcept : window_(window) {}
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    ~OwnedWindow()
    {
        if (window_)
            DestroyWindow(window_);
    }
    HWND get() const noexcept { return window_; }

private:
    HWND window_;
};

// A visible window with a themed control, as the installer's main window has; it also owns the
// browse dialog.
HWND CreateControlWindow(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES;
    if (!InitCommonControlsEx(&controls))
        return nullptr;

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return nullptr;
    HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 40, 40, 320, 160, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return nullptr;
    CreateWindowExW(0, WC_BUTTONW, L"Themed", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 16, 16, 120, 28, window, nullptr,
                    instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

// The same dialog the installer shows; whoever runs the control answers it, either way.
void UseBrowseDialog(HWND owner)
{
    BROWSEINFOW request = {};
    request.hwndOwner = owner;
    request.lpszTitle = L"C:\\";
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    UniquePidl chosen(SHBrowseForFolderW(&request));
}

int Run(HINSTANCE instance)
{
    // Every step runs even after one has failed, so each has its chance to pull in its DLLs.
    int failed = 0;
    const auto note = [&failed](bool ok, Step step) {
        if (!ok && failed == 0)
            failed = step;
    };

    note(UseWinmm(), Winmm);
    ComApartment com;
    note(SUCCEEDED(com.result()), Com);
    note(UseScriptingRuntime(), Scripting);
    note(UseImaging(), Imaging);
    note(UseSpecialFolder(), SpecialFolder);
    OwnedWindow window(CreateControlWindow(instance));
    note(window.get() != nullptr, Window);
    UseBrowseDialog(window.get());
    return failed;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return Run(instance);
}
