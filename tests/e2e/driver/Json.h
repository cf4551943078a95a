#pragma once
// One event of the driver's report: a flat JSON object written as a single line, so the test
// harness can read the report as it comes while the installer is still running.

#include <windows.h>

#include <string>
#include <string_view>

namespace tazel::e2e {

// UTF-8 form of wide text; the harness reads the report as UTF-8 whatever the code page.
std::string Utf8(std::wstring_view text);

// JSON text of a string, quotes included.
std::string Quoted(std::string_view utf8);

class JsonLine {
public:
    explicit JsonLine(std::string_view event);

    JsonLine& Text(std::string_view key, std::wstring_view value);
    JsonLine& Text(std::string_view key, std::string_view utf8);
    JsonLine& Number(std::string_view key, long long value);
    JsonLine& Flag(std::string_view key, bool value);
    JsonLine& Null(std::string_view key);
    // A value already in JSON form: an array or object built by the caller.
    JsonLine& Raw(std::string_view key, std::string_view json);

    // Adds the milliseconds since the driver started and writes the line to standard output.
    void Emit();

private:
    void Key(std::string_view key);
    std::string line_;
};

// Milliseconds since the driver started.
long long ElapsedMs() noexcept;

} // namespace tazel::e2e
