#pragma once
// The finished installer made from the stub: the installer linked once with no resources at all,
// given one resource section here. Three steps, so that the resources' bytes, the payload most of
// all, are written once, straight into the finished image:
//
//     auto stub = ParseStub(stubBytes);                             // checked, or refused
//     auto layout = LayOutResources(resources, stub->sectionRva);   // packer/ResourceSection.h
//     auto image = AddResourceSection(*stub, layout->sectionSize);  // zero-filled section
//     ... copy layout->directory to image->Section(), each resource at its data offset ...
//     SealImage(*image);                                            // the checksum, last
//
// The same stub and resources give the same bytes: nothing here reads a clock, and every byte
// the stub does not give is zero.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "packer/PackError.h"

namespace tazel::pack {

// A 32-bit installer maps its whole image into a 2 GB address space with the rest of the process.
inline constexpr std::uint64_t kLargestImage = 0x40000000;
inline constexpr std::uint32_t kStubFileAlignment = 0x1000;

// A stub found fit for a resource section. It views the caller's bytes, which must outlive it.
struct StubImage {
    std::span<const std::byte> bytes;
    std::size_t fileHeaderAt = 0; // COFF file header, after "PE\0\0"
    std::size_t optionalHeaderAt = 0;
    std::size_t newSectionHeaderAt = 0; // the free slot after the section table
    std::uint32_t sectionAlignment = 0;
    // Where the resource section will go.
    std::uint32_t sectionRva = 0;
    std::uint32_t sectionFileOffset = 0;
};

// Refused, each with what was found: not MZ/PE, not PE32 or not i386, signed, carrying resources
// already, a file alignment other than 0x1000, an inconsistent section table, data after the
// last section, no room for one more section header.
[[nodiscard]] Expected<StubImage> ParseStub(std::span<const std::byte> bytes);

struct OutputImage {
    std::vector<std::byte> bytes;
    std::uint32_t sectionRva = 0;
    std::uint32_t sectionFileOffset = 0;
    std::uint32_t sectionSize = 0;
    std::size_t checksumAt = 0;

    // The resource section's bytes (its size, not its file-aligned raw size), zero until filled.
    [[nodiscard]] std::span<std::byte> Section() { return std::span(bytes).subspan(sectionFileOffset, sectionSize); }
};

// The stub with a section ".rsrc" of `sectionSize` bytes after its last one, the headers set for
// it: section count, image size, initialised data size, the resource directory entry, and the
// run-from-swap flags (a stick pulled out or a share gone cannot fault a page of the payload in
// later). Refused when the image would outgrow kLargestImage.
[[nodiscard]] Expected<OutputImage> AddResourceSection(const StubImage& stub, std::uint32_t sectionSize);

// Writes the image checksum; call it once every byte is in place.
void SealImage(OutputImage& image);

// The PE image checksum of `image`, its field at `checksumAt` taken as zero: the 16-bit words
// summed with the carries folded back in, plus the image's length.
[[nodiscard]] std::uint32_t ImageChecksum(std::span<const std::byte> image, std::size_t checksumAt);

} // namespace tazel::pack
