#pragma once
// An installer read back from outside bytes: its resources and its version block. Every offset
// and size the bytes give is checked against their length before anything is read there, and
// every walk is bounded by counts and lengths that have been checked the same way: no input,
// however made, is read outside its bytes or walked in circles. It views the caller's bytes,
// which must outlive it.
//
//     auto image = ImageReader::Read(bytes);            // the headers, checked
//     auto record = image->Resource(u"PACKAGE", 1, 0);  // its bytes, none, or what is damaged
//     auto facts = ReadVersionBlock(**version);         // a version resource's strings and numbers

#include "core/Expected.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "packer/image/ResourceSection.h"

namespace tazel::pack {

enum class ImageFault {
    NotAnImage, // no MZ or PE header, or an image of another machine or format than a 32-bit installer's
    Damaged,    // headers, a section or a resource that point outside the file or contradict themselves
};

struct ImageProblem {
    ImageFault fault = ImageFault::Damaged;
    std::string message; // what was found, for "<file> is damaged: <message>"
};

template <typename T>
using ImageExpected = tazel::Expected<T, ImageProblem>;

class ImageReader {
public:
    // The headers and the section table, each section's bytes within the file: a file cut short
    // is Damaged here.
    [[nodiscard]] static ImageExpected<ImageReader> Read(std::span<const std::byte> bytes);

    // False for an image with no resource directory, as the installer's stub before packing.
    [[nodiscard]] bool HasResources() const { return !directory_.empty(); }

    // The bytes of the resource of this type, name and language, found as the loader finds it
    // (a named type in upper case, as the directory stores it); nothing when the directory holds
    // none such; Damaged when the way to it or its bytes lie outside the directory or the file.
    [[nodiscard]] ImageExpected<std::optional<std::span<const std::byte>>>
    Resource(const ResourceId& type, std::uint16_t name, std::uint16_t language) const;

private:
    struct Section {
        std::uint32_t rva = 0;
        std::uint32_t rawAt = 0;
        std::uint32_t mapped = 0; // the raw bytes the loader maps: no more than the section's size in memory
    };

    // The file's bytes from `rva` on, `size` of them, when one section's raw data holds them all.
    [[nodiscard]] std::optional<std::span<const std::byte>> Mapped(std::uint32_t rva, std::uint32_t size) const;

    std::span<const std::byte> bytes_;
    std::vector<Section> sections_;
    std::span<const std::byte> directory_;
};

// What the package maker puts in an installer's version block (packer/VersionBlock.h).
struct VersionFacts {
    std::array<std::uint16_t, 4> fileVersion{};
    // The first string table's, in its order.
    std::vector<std::pair<std::u16string, std::u16string>> strings;

    [[nodiscard]] std::optional<std::u16string> String(std::u16string_view key) const;
};

// The fixed file information and the first string table of a VS_VERSIONINFO block; Damaged when
// a node's length runs past its parent's end or below its own head, a key has no end, or the
// fixed information is missing or not signed as such.
[[nodiscard]] ImageExpected<VersionFacts> ReadVersionBlock(std::span<const std::byte> block);

} // namespace tazel::pack
