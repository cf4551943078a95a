#include "FolderSelection.h"

#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "Json.h"
#include "WindowQuery.h"

namespace tazel::e2e {
namespace {

std::vector<std::wstring> Components(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring Join(const std::vector<std::wstring>& parts, std::size_t count)
{
    std::wstring path;
    for (std::size_t i = 0; i < count; ++i)
        path += parts[i] + L"\\";
    if (count > 1)
        path.pop_back();
    return path;
}

class Selection {
public:
    Selection(Watch& watch, InstallerProcess& process, HWND dialog) noexcept
        : watch_(watch), process_(process), dialog_(dialog)
    {
    }

    // The dialog's own selection message, as a program would use it.
    bool ByMessage(const std::wstring& path)
    {
        // The dialog turns the text into an item list before the message returns; the buffer
        // is not needed after that.
        const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
        RemoteBuffer remote(process_.handle(), bytes);
        if (!remote || !remote.Write(path.c_str(), bytes))
            return watch_.Fail("cannot write the path into the installer");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(dialog_, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote.address()),
                                 SMTO_NORMAL, 10000, &result))
            return watch_.Fail("browse dialog did not answer the selection");
        return true;
    }

    // The way a user gets there: the deepest folder the dialog can select by itself, then
    // expanding each level and clicking the next folder's item.
    bool ThroughTree(HWND tree, const std::vector<std::wstring>& parts)
    {
        for (std::size_t known = parts.size() - 1; known >= 1; --known) {
            if (!ByMessage(Join(parts, known)))
                return false;
            HTREEITEM item = TreeItem(tree, TVGN_CARET);
            const auto text = TreeItemText(process_.handle(), tree, item);
            if (!item || (known > 1 && !(text && SameName(*text, parts[known - 1]))))
                continue;
            for (std::size_t next = known; next < parts.size() && item; ++next) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item), SMTO_NORMAL, 10000,
                                    &ignored);
                HTREEITEM child = TreeItem(tree, TVGN_CHILD, item);
                while (child) {
                    const auto name = TreeItemText(process_.handle(), tree, child);
                    if (name && SameName(*name, parts[next]))
                        break;
                    child = TreeItem(tree, TVGN_NEXT, child);
                }
                if (child)
                    SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child), SMTO_NORMAL,
                                        10000, &ignored);
                item = child;
            }
            return item != nullptr;
        }
        return false;
    }

    bool Select(const std::wstring& path)
    {
        const HWND tree = FindDescendant(dialog_, L"SysTreeView32");
        const auto before = SelectedItemText(process_.handle(), tree);
        const auto parts = Components(path);
        // The dialog may still be filling its tree right after it shows, most of all on a busy
        // machine: a folder not reached yet is tried again for a while.
        const ULONGLONG deadline = GetTickCount64() + 5000;
        bool reached = false;
        const char* method = "message";
        std::optional<std::wstring> after;
        for (;;) {
            if (!ByMessage(path))
                return false;
            after = SelectedItemText(process_.handle(), tree);
            // A drive's item is named by its label, not its letter: any change will do there.
            reached = parts.size() <= 1 ? after && after != before : after && SameName(*after, parts.back());
            method = "message";
            if (!reached && parts.size() > 1) {
                // Wine's dialog finds a folder by message only when its parent is already in the tree.
                method = "tree";
                reached = ThroughTree(tree, parts);
                if (watch_.status() != 0)
                    return false;
                after = SelectedItemText(process_.handle(), tree);
            }
            if (reached || GetTickCount64() >= deadline)
                break;
            Sleep(100);
        }

        const HWND ok = GetDlgItem(dialog_, IDOK);
        JsonLine line("selected");
        line.Text("path", path).Text("method", method).Flag("ok_enabled", ok && IsWindowEnabled(ok));
        if (after)
            line.Text("item", *after);
        else
            line.Null("item");
        line.Emit();
        if (!reached)
            return watch_.Fail("the folder could not be selected in the browse dialog");
        return true;
    }

private:
    Watch& watch_;
    InstallerProcess& process_;
    HWND dialog_;
};

} // namespace

bool SelectFolder(Watch& watch, InstallerProcess& process, HWND dialog, const std::wstring& path)
{
    return Selection(watch, process, dialog).Select(path);
}

} // namespace tazel::e2e
