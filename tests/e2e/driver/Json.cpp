#include "Json.h"

#include <cstdio>

namespace tazel::e2e {
namespace {

const ULONGLONG kStart = GetTickCount64();

} // namespace

long long ElapsedMs() noexcept
{
    return static_cast<long long>(GetTickCount64() - kStart);
}

std::string Utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string Quoted(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            // Every control character escaped by number: the harness compares CR LF exactly.
            char escape[8] = {};
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

JsonLine::JsonLine(std::string_view event) : line_("{\"event\":" + Quoted(event))
{
}

void JsonLine::Key(std::string_view key)
{
    line_ += ',';
    line_ += Quoted(key);
    line_ += ':';
}

JsonLine& JsonLine::Text(std::string_view key, std::wstring_view value)
{
    return Text(key, std::string_view(Utf8(value)));
}

JsonLine& JsonLine::Text(std::string_view key, std::string_view utf8)
{
    Key(key);
    line_ += Quoted(utf8);
    return *this;
}

JsonLine& JsonLine::Number(std::string_view key, long long value)
{
    Key(key);
    line_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Flag(std::string_view key, bool value)
{
    Key(key);
    line_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::Null(std::string_view key)
{
    Key(key);
    line_ += "null";
    return *this;
}

JsonLine& JsonLine::Raw(std::string_view key, std::string_view json)
{
    Key(key);
    line_ += json;
    return *this;
}

void JsonLine::Emit()
{
    Number("t", ElapsedMs());
    std::string out = line_ + "}\n";
    // Straight to the handle, unbuffered: the harness acts on each line as soon as it arrives.
    const HANDLE stdOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    WriteFile(stdOut, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

} // namespace tazel::e2e
