#include "Script.h"

#include <cwchar>

namespace tazel::e2e {
namespace {

std::optional<Key> ParseKey(const std::wstring& text)
{
    if (text == L"ok")
        return Key::Ok;
    if (text == L"cancel")
        return Key::Cancel;
    if (text == L"escape")
        return Key::Escape;
    if (text == L"close")
        return Key::Close;
    return std::nullopt;
}

std::optional<int> ParseNumber(const std::wstring& text)
{
    if (text.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (*end != L'\0' || value < -100000 || value > 100000000)
        return std::nullopt;
    return static_cast<int>(value);
}

Action Simple(ActionKind kind, const std::wstring& token)
{
    Action action;
    action.kind = kind;
    action.token = token;
    return action;
}

Action PressAction(Key key, const std::wstring& token)
{
    Action action = Simple(ActionKind::Press, token);
    action.key = key;
    return action;
}

// Appends the actions one token stands for; false when the token means nothing.
bool AddActions(const std::wstring& token, std::vector<Action>& actions)
{
    const auto equals = token.find(L'=');
    const std::wstring name = token.substr(0, equals);
    const std::wstring value = equals == std::wstring::npos ? L"" : token.substr(equals + 1);
    const bool hasValue = equals != std::wstring::npos;

    if (!hasValue) {
        if (name == L"window")
            actions.push_back(Simple(ActionKind::Window, token));
        else if (name == L"window-close")
            actions.push_back(Simple(ActionKind::WindowClose, token));
        else if (name == L"accessible")
            actions.push_back(Simple(ActionKind::Accessible, token));
        else if (name == L"cover")
            actions.push_back(Simple(ActionKind::Cover, token));
        else if (name == L"uncover")
            actions.push_back(Simple(ActionKind::Uncover, token));
        else if (name == L"box")
            actions.push_back(Simple(ActionKind::Box, token));
        else if (name == L"browse")
            actions.push_back(Simple(ActionKind::Browse, token));
        else if (name == L"exit")
            actions.push_back(Simple(ActionKind::Exit, token));
        else if (name == L"kill")
            actions.push_back(Simple(ActionKind::Kill, token));
        else
            return false;
        return true;
    }

    if (name == L"press" || name == L"box" || name == L"browse") {
        const auto key = ParseKey(value);
        if (!key)
            return false;
        if (name == L"box")
            actions.push_back(Simple(ActionKind::Box, token));
        if (name == L"browse")
            actions.push_back(Simple(ActionKind::Browse, token));
        actions.push_back(PressAction(*key, token));
        return true;
    }
    if (name == L"select" || name == L"pick") {
        if (value.empty())
            return false;
        if (name == L"pick")
            actions.push_back(Simple(ActionKind::Browse, token));
        Action select = Simple(ActionKind::Select, token);
        select.text = value;
        actions.push_back(select);
        if (name == L"pick")
            actions.push_back(PressAction(Key::Ok, token));
        return true;
    }
    if (name == L"sync") {
        if (value.empty())
            return false;
        Action sync = Simple(ActionKind::Sync, token);
        sync.text = value;
        actions.push_back(sync);
        return true;
    }
    if (name == L"sleep") {
        const auto ms = ParseNumber(value);
        if (!ms || *ms < 0)
            return false;
        Action sleep = Simple(ActionKind::Sleep, token);
        sleep.milliseconds = *ms;
        actions.push_back(sleep);
        return true;
    }
    if (name == L"hold") {
        Action hold = Simple(ActionKind::Hold, token);
        hold.milliseconds = -1;
        hold.text = value;
        // A path may hold commas itself: only a last one followed by a number ends it.
        const auto comma = value.rfind(L',');
        if (comma != std::wstring::npos) {
            if (const auto ms = ParseNumber(value.substr(comma + 1)); ms && *ms >= 0) {
                hold.text = value.substr(0, comma);
                hold.milliseconds = *ms;
            }
        }
        if (hold.text.empty())
            return false;
        actions.push_back(hold);
        return true;
    }
    if (name == L"dpi") {
        const auto first = value.find(L',');
        const auto second = first == std::wstring::npos ? first : value.find(L',', first + 1);
        if (second == std::wstring::npos)
            return false;
        const auto dpi = ParseNumber(value.substr(0, first));
        const auto x = ParseNumber(value.substr(first + 1, second - first - 1));
        const auto y = ParseNumber(value.substr(second + 1));
        if (!dpi || *dpi < 48 || *dpi > 960 || !x || !y)
            return false;
        Action change = Simple(ActionKind::Dpi, token);
        change.dpi = *dpi;
        change.x = *x;
        change.y = *y;
        actions.push_back(change);
        return true;
    }
    if (name == L"window-move") {
        const auto comma = value.find(L',');
        if (comma == std::wstring::npos)
            return false;
        const auto x = ParseNumber(value.substr(0, comma));
        const auto y = ParseNumber(value.substr(comma + 1));
        if (!x || !y)
            return false;
        Action move = Simple(ActionKind::WindowMove, token);
        move.x = *x;
        move.y = *y;
        actions.push_back(move);
        return true;
    }
    return false;
}

} // namespace

std::optional<Script> ParseScript(const std::vector<std::wstring>& arguments, std::wstring& error)
{
    Script script;
    for (const auto& argument : arguments) {
        if (argument.starts_with(L"--run=")) {
            script.installer = argument.substr(6);
        } else if (argument.starts_with(L"--timeout=")) {
            const auto seconds = ParseNumber(argument.substr(10));
            if (!seconds || *seconds <= 0) {
                error = L"bad timeout: " + argument;
                return std::nullopt;
            }
            script.timeoutSeconds = *seconds;
        } else if (argument.starts_with(L"--occupy=")) {
            script.occupy.push_back(argument.substr(9));
        } else if (!AddActions(argument, script.actions)) {
            error = L"unknown action: " + argument;
            return std::nullopt;
        }
    }
    if (script.installer.empty()) {
        error = L"no installer given (--run=PATH)";
        return std::nullopt;
    }
    if (script.actions.empty() ||
        (script.actions.back().kind != ActionKind::Exit && script.actions.back().kind != ActionKind::Kill))
        script.actions.push_back(Simple(ActionKind::Exit, L"exit"));
    return script;
}

const char* KeyName(Key key) noexcept
{
    switch (key) {
    case Key::Ok:
        return "ok";
    case Key::Cancel:
        return "cancel";
    case Key::Escape:
        return "escape";
    case Key::Close:
        return "close";
    }
    return "?";
}

} // namespace tazel::e2e
