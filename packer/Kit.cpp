#include "packer/Kit.h"

// The kit's files are assembled into this object as they are, by the assembler's .incbin: the
// build names them (TAZEL_KIT_*), and a change to one rebuilds this file alone. Each ends back in
// .text, where the compiler expects top-level assembly to leave it (COFF has no .previous).

#define TAZEL_TEXT(x) #x
#define TAZEL_EXPANDED_TEXT(x) TAZEL_TEXT(x)
// i686 Windows prefixes C symbols with an underscore, x86-64 Linux and WebAssembly do not.
#define TAZEL_SYMBOL(name) TAZEL_EXPANDED_TEXT(__USER_LABEL_PREFIX__) #name
#if defined(__wasm__)
// WebAssembly's object format wants a section of each symbol's own, and each symbol's type and size.
#define TAZEL_EMBED(name, file)                                                                                        \
    asm(".section .rodata." #name ",\"\",@\n"                                                                          \
        ".globl " #name "\n.type " #name ",@object\n" #name ":\n"                                                      \
        ".incbin \"" file "\"\n"                                                                                       \
        ".globl " #name "End\n.type " #name "End,@object\n" #name "End:\n"                                             \
        ".size " #name ", " #name "End - " #name "\n.size " #name "End, 0\n");                                         \
    extern "C" const std::byte name[];                                                                                 \
    extern "C" const std::byte name##End[];
#else
#ifdef _WIN32
#define TAZEL_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#else
#define TAZEL_READ_ONLY_SECTION ".section .rodata\n"
#endif
#define TAZEL_EMBED(name, file)                                                                                        \
    asm(TAZEL_READ_ONLY_SECTION ".balign 16\n"                                                                         \
                                ".globl " TAZEL_SYMBOL(name) "\n" TAZEL_SYMBOL(                                        \
                                    name) ":\n"                                                                        \
                                          ".incbin \"" file "\"\n"                                                     \
                                          ".globl " TAZEL_SYMBOL(name##End) "\n" TAZEL_SYMBOL(name##End) ":\n"         \
                                                                                                         ".text\n");   \
    extern "C" const std::byte name[];                                                                                 \
    extern "C" const std::byte name##End[];
#endif

#include <cstddef>

#ifdef TAZEL_KIT_STUB
TAZEL_EMBED(tazelKitStub, TAZEL_KIT_STUB)
TAZEL_EMBED(tazelKitLzmaStub, TAZEL_KIT_LZMA_STUB)
#endif
TAZEL_EMBED(tazelKitIconImage, TAZEL_KIT_ICON_IMAGE)
TAZEL_EMBED(tazelKitIconGroup, TAZEL_KIT_ICON_GROUP)
TAZEL_EMBED(tazelKitWindowPicture, TAZEL_KIT_WINDOW_PICTURE)
TAZEL_EMBED(tazelKitApplicationManifest, TAZEL_KIT_APPLICATION_MANIFEST)

namespace tazel::pack {
namespace {

std::span<const std::byte> Between(const std::byte* first, const std::byte* end) noexcept
{
    return {first, static_cast<std::size_t>(end - first)};
}

} // namespace

const Kit& BuiltInKit() noexcept
{
    static const Kit kit{
#ifdef TAZEL_KIT_STUB
        Between(tazelKitStub, tazelKitStubEnd),
        Between(tazelKitLzmaStub, tazelKitLzmaStubEnd),
#else
        {},
        {},
#endif
        Between(tazelKitIconImage, tazelKitIconImageEnd),
        Between(tazelKitIconGroup, tazelKitIconGroupEnd),
        Between(tazelKitWindowPicture, tazelKitWindowPictureEnd),
        Between(tazelKitApplicationManifest, tazelKitApplicationManifestEnd),
    };
    return kit;
}

} // namespace tazel::pack
