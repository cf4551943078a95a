#include "WindowQuery.h"

#include <commctrl.h>

#include <algorithm>

#include "Json.h"

namespace tazel::e2e {
namespace {

constexpr wchar_t kMainWindowTitle[] = L"Ombrix Support Files";
// The message box's prompt control; the browse dialog's instruction control.
constexpr int kMessageTextId = 0xFFFF;
constexpr int kBrowseInstructionId = 0x3742;
constexpr UINT kTextTimeoutMs = 3000;

struct EnumTopLevel {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) noexcept
{
    auto* search = reinterpret_cast<EnumTopLevel*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        try {
            search->windows.push_back(window);
        } catch (...) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) noexcept
{
    try {
        reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

bool IsClass(HWND window, const wchar_t* name)
{
    return lstrcmpiW(ClassOf(window).c_str(), name) == 0;
}

bool IsTextStatic(HWND control)
{
    if (!IsClass(control, L"Static"))
        return false;
    const auto type = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE)) & SS_TYPEMASK;
    return type != SS_ICON && type != SS_BITMAP && type != SS_ENHMETAFILE && type != SS_ETCHEDFRAME &&
           type != SS_BLACKRECT && type != SS_GRAYRECT && type != SS_WHITERECT;
}

int ControlId(HWND control)
{
    return static_cast<int>(static_cast<unsigned short>(GetDlgCtrlID(control)));
}

} // namespace

RemoteBuffer::RemoteBuffer(HANDLE process, SIZE_T size) noexcept
    : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
{
}

RemoteBuffer::~RemoteBuffer()
{
    if (address_)
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* data, SIZE_T size, SIZE_T offset) const noexcept
{
    SIZE_T done = 0;
    return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

bool RemoteBuffer::Read(void* data, SIZE_T size, SIZE_T offset) const noexcept
{
    SIZE_T done = 0;
    return ReadProcessMemory(process_, static_cast<const char*>(address_) + offset, data, size, &done) && done == size;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

std::wstring TitleOf(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring title(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
    title.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return title;
}

std::wstring ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length))
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &copied))
        return {};
    text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), text.size() - 1));
    return text;
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    EnumTopLevel search{processId, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::vector<HWND> Descendants(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool IsDialog(HWND window)
{
    return ClassOf(window) == L"#32770";
}

HWND FindDescendant(HWND parent, const wchar_t* className)
{
    for (HWND child : Descendants(parent))
        if (IsClass(child, className))
            return child;
    return nullptr;
}

HWND FindMainWindow(DWORD processId)
{
    for (HWND window : TopLevelWindows(processId))
        if (!IsDialog(window) && TitleOf(window) == kMainWindowTitle)
            return window;
    return nullptr;
}

std::string WindowRef(HWND window)
{
    if (!window)
        return "null";
    return "{\"class\":" + Quoted(Utf8(ClassOf(window))) + ",\"title\":" + Quoted(Utf8(TitleOf(window))) + "}";
}

std::string RectJson(const RECT& rect)
{
    return "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom) + "]";
}

std::string ButtonsJson(HWND dialog)
{
    struct Button {
        LONG left;
        std::string json;
    };
    std::vector<Button> buttons;
    for (HWND child : Descendants(dialog)) {
        if (!IsClass(child, L"Button") || !IsWindowVisible(child))
            continue;
        RECT rect = {};
        GetWindowRect(child, &rect);
        buttons.push_back({rect.left, "{\"id\":" + std::to_string(ControlId(child)) +
                                          ",\"text\":" + Quoted(Utf8(ControlText(child))) +
                                          ",\"enabled\":" + (IsWindowEnabled(child) ? "true" : "false") + "}"});
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const Button& a, const Button& b) { return a.left < b.left; });
    std::string json = "[";
    for (std::size_t i = 0; i < buttons.size(); ++i)
        json += (i ? "," : "") + buttons[i].json;
    return json + "]";
}

std::string StaticsJson(HWND dialog)
{
    std::string json = "[";
    bool first = true;
    for (HWND child : Descendants(dialog)) {
        if (!IsTextStatic(child) || !IsWindowVisible(child))
            continue;
        json += (first ? "" : ",") + std::string("{\"id\":") + std::to_string(ControlId(child)) +
                ",\"text\":" + Quoted(Utf8(ControlText(child))) + "}";
        first = false;
    }
    return json + "]";
}

std::wstring MessageText(HWND box)
{
    for (HWND child : Descendants(box))
        if (ControlId(child) == kMessageTextId && IsTextStatic(child))
            return ControlText(child);
    // A box laid out differently: its first visible text.
    for (HWND child : Descendants(box))
        if (IsTextStatic(child) && IsWindowVisible(child))
            if (auto text = ControlText(child); !text.empty())
                return text;
    return {};
}

bool ShowsIcon(HWND dialog)
{
    for (HWND child : Descendants(dialog)) {
        if (!IsClass(child, L"Static") || !IsWindowVisible(child))
            continue;
        const auto type = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)) & SS_TYPEMASK;
        if (type != SS_ICON)
            continue;
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &icon) && icon != 0)
            return true;
    }
    return false;
}

std::wstring BrowseInstruction(HWND dialog)
{
    for (HWND child : Descendants(dialog))
        if (ControlId(child) == kBrowseInstructionId && IsTextStatic(child))
            return ControlText(child);
    return {};
}

HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM from)
{
    DWORD_PTR item = 0;
    if (!tree || !SendMessageTimeoutW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from), SMTO_ABORTIFHUNG,
                                      kTextTimeoutMs, &item))
        return nullptr;
    return reinterpret_cast<HTREEITEM>(item);
}

std::optional<std::wstring> TreeItemText(HANDLE process, HWND tree, HTREEITEM item)
{
    if (!item)
        return std::nullopt;
    constexpr int kChars = 520;
    RemoteBuffer remote(process, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    if (!remote)
        return std::nullopt;
    TVITEMW request = {};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.address()) + sizeof(TVITEMW));
    request.cchTextMax = kChars;
    const wchar_t nothing[1] = {};
    if (!remote.Write(&request, sizeof request) || !remote.Write(nothing, sizeof nothing, sizeof(TVITEMW)))
        return std::nullopt;
    DWORD_PTR ok = 0;
    if (!SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.address()), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &ok) ||
        !ok)
        return std::nullopt;
    std::wstring text(kChars, L'\0');
    if (!remote.Read(text.data(), kChars * sizeof(wchar_t), sizeof(TVITEMW)))
        return std::nullopt;
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
}

std::optional<std::wstring> SelectedItemText(HANDLE process, HWND tree)
{
    return TreeItemText(process, tree, TreeItem(tree, TVGN_CARET));
}

} // namespace tazel::e2e
