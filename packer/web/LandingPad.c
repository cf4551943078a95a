// Debian's emscripten 3.1.6 builds its libunwind with the landing pads' context thread-local, while
// its clang 14 writes that context as a plain global: with threads, no C++ exception would ever be
// caught, and running out of memory would end the module rather than be refused. This is the
// library's own source (compiled from where emscripten installs it, as the LZMA SDK's is), with the
// plain global the compiler writes; the threaded module links it ahead of the library. Two
// exceptions on two threads at once would share it, as the compiler's code already makes them do.

#include <threads.h>
#undef thread_local
#define thread_local
#include "Unwind-wasm.c"
