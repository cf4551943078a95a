// Stand-ins for three corners of the statically linked C++ runtime. Linked into every installer
// as an object of its own, so the linker finds these before it searches libstdc++; should a
// library member still be pulled in beside them, the link fails with a duplicate definition.
//
// Why: libstdc++ keeps each group in one object file, and taking one function takes the whole
// file with everything it reaches. The helpers behind a container's length or range check
// construct std::logic_error, whose message string drags in the complete copy-on-write
// std::string, std::random_device and the printf engine; the default terminate handler brings
// the symbol demangler. Together about 150 KB of the installer's 300 KB of code.

#include <cstdlib>
#include <exception>
#include <new>

namespace {

// What the library's checks throw here instead of logic_error and its kin. Nothing in the
// installer catches those kinds by name: the entry point reports any exception but bad_alloc
// as a general failure, and this one still arrives there.
class RuntimeCheckFailed final : public std::exception {
public:
    explicit RuntimeCheckFailed(const char* what) noexcept : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_; // the library passes string literals
};

} // namespace

namespace std {

void __throw_bad_alloc()
{
    throw std::bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw std::bad_array_new_length();
}

void __throw_length_error(const char* what)
{
    throw RuntimeCheckFailed(what);
}

void __throw_logic_error(const char* what)
{
    throw RuntimeCheckFailed(what);
}

// The format's arguments only complete the message; the format itself says what went wrong.
void __throw_out_of_range_fmt(const char* format, ...)
{
    throw RuntimeCheckFailed(format);
}

} // namespace std

namespace __gnu_cxx {

// The library's own handler prints the exception's demangled type to the standard error
// stream, which a GUI program does not have, and then aborts: only the abort is kept.
void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx
