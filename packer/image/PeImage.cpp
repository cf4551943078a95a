#include "packer/image/PeImage.h"

#include <algorithm>
#include <string>

#include "core/LittleEndian.h"
#include "packer/image/PeFormat.h"

namespace tazel::pack {
namespace {

using namespace pe;

std::string SectionName(std::span<const std::byte> bytes, std::size_t headerAt)
{
    std::string name;
    for (std::size_t i = 0; i < 8 && bytes[headerAt + i] != std::byte{0}; ++i)
        name += static_cast<char>(bytes[headerAt + i]);
    return name;
}

struct Section {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t rva = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawAt = 0;
};

} // namespace

Expected<StubImage> ParseStub(std::span<const std::byte> bytes)
{
    // Each header is held against the file's length before a field of it is read: a stub cut
    // short (a copy broken off) is refused, never read past its end.
    const auto cutShort = [&](const std::string& what, std::uint64_t end) {
        return Refuse("the stub is cut short: its " + what + " ends at " + Hex(end) + ", past the end of the file at " +
                      Hex(bytes.size()));
    };
    if (bytes.size() < 2 || ReadU16(bytes, 0) != 0x5A4D)
        return Refuse("the stub is not an executable: no MZ header");
    if (bytes.size() < 0x40)
        return cutShort("MZ header", 0x40);
    const std::uint32_t peAt = ReadU32(bytes, 0x3C);
    if (std::uint64_t{peAt} + 4 > bytes.size() || ReadU32(bytes, peAt) != 0x00004550)
        return Refuse("the stub is not a PE image: no PE signature at " + Hex(peAt));
    if (const std::uint64_t end = std::uint64_t{peAt} + 4 + kFileHeaderSize + kOptionalHeaderFixedSize;
        end > bytes.size())
        return cutShort("PE headers", end);

    StubImage stub;
    stub.bytes = bytes;
    stub.fileHeaderAt = peAt + 4;
    stub.optionalHeaderAt = stub.fileHeaderAt + kFileHeaderSize;
    const std::size_t fh = stub.fileHeaderAt;
    const std::size_t oh = stub.optionalHeaderAt;

    if (const auto machine = ReadU16(bytes, fh); machine != kMachineI386)
        return Refuse("the stub is built for machine " + Hex(machine) + ", not for i386 (0x14c)");
    const std::uint16_t magic = ReadU16(bytes, oh);
    if (magic == kMagicPe32Plus)
        return Refuse("the stub is a 64-bit PE32+ image, not PE32");
    if (magic != kMagicPe32)
        return Refuse("the stub's optional header has magic " + Hex(magic) + ", not PE32's 0x10b");
    const std::size_t optionalSize = ReadU16(bytes, fh + 16);
    const std::uint32_t directories = ReadU32(bytes, oh + kNumberOfRvaAndSizes);
    if (directories <= kResourceDirectory || directories > 16 ||
        optionalSize < kOptionalHeaderFixedSize + 8 * std::size_t{directories})
        return Refuse("the stub's optional header is inconsistent: " + std::to_string(optionalSize) + " bytes for " +
                      std::to_string(directories) + " data directories");
    if (oh + optionalSize > bytes.size())
        return cutShort("optional header", oh + optionalSize);
    const auto directory = [&](std::uint32_t index) { return oh + kOptionalHeaderFixedSize + 8 * index; };
    if (directories > kSecurityDirectory && ReadU32(bytes, directory(kSecurityDirectory) + 4) != 0)
        return Refuse("the stub is signed (a certificate table of " +
                      std::to_string(ReadU32(bytes, directory(kSecurityDirectory) + 4)) +
                      " bytes): sign the finished installer, not the stub");
    if (ReadU32(bytes, directory(kResourceDirectory)) != 0 || ReadU32(bytes, directory(kResourceDirectory) + 4) != 0)
        return Refuse("the stub already has a resource directory");

    const std::uint32_t fileAlignment = ReadU32(bytes, oh + kFileAlignment);
    if (fileAlignment != kStubFileAlignment)
        return Refuse("the stub's file alignment is " + Hex(fileAlignment) +
                      ", not 0x1000 (link it with --file-alignment 0x1000)");
    stub.sectionAlignment = ReadU32(bytes, oh + kSectionAlignment);
    if (stub.sectionAlignment < fileAlignment || (stub.sectionAlignment & (stub.sectionAlignment - 1)) != 0)
        return Refuse("the stub's section alignment " + Hex(stub.sectionAlignment) +
                      " is not a power of two at least its file alignment");

    const auto inconsistent = [](const std::string& what) {
        return Refuse("the stub's section table is inconsistent: " + what);
    };
    const std::size_t count = ReadU16(bytes, fh + 2);
    const std::size_t tableAt = oh + optionalSize;
    const std::uint32_t headersSize = ReadU32(bytes, oh + kSizeOfHeaders);
    if (count == 0)
        return inconsistent("no sections");
    if (tableAt + kSectionHeaderSize * count > bytes.size())
        return cutShort("section table", tableAt + kSectionHeaderSize * count);
    if (headersSize > bytes.size())
        return cutShort("headers", headersSize);
    if (headersSize % fileAlignment != 0 || tableAt + kSectionHeaderSize * count > headersSize)
        return inconsistent("the headers' size " + Hex(headersSize) + " does not hold the table of " +
                            std::to_string(count) + " sections");

    // Sections follow one another without gaps in memory, as the loader requires, and do not
    // overlap in the file; the last one's raw data ends the file.
    std::uint64_t nextRva = AlignUp(headersSize, stub.sectionAlignment);
    std::uint64_t rawEnd = headersSize;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = tableAt + kSectionHeaderSize * i;
        const Section section{SectionName(bytes, at), ReadU32(bytes, at + 8), ReadU32(bytes, at + 12),
                              ReadU32(bytes, at + 16), ReadU32(bytes, at + 20)};
        if (section.name == kResourceSectionName)
            return Refuse("the stub already has a " + section.name + " section");
        const std::string which = "section " + std::to_string(i + 1) + " (" + section.name + ")";
        if (section.rva != nextRva)
            return inconsistent(which + " starts at RVA " + Hex(section.rva) + ", not " + Hex(nextRva));
        const std::uint32_t mapped = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
        nextRva = AlignUp(std::uint64_t{section.rva} + mapped, stub.sectionAlignment);
        if (section.rawSize == 0)
            continue;
        if (section.rawAt % fileAlignment != 0 || section.rawSize % fileAlignment != 0 || section.rawAt < rawEnd)
            return inconsistent(which + " has raw data of " + Hex(section.rawSize) + " bytes at " + Hex(section.rawAt));
        rawEnd = std::uint64_t{section.rawAt} + section.rawSize;
        if (rawEnd > bytes.size())
            return inconsistent(which + " runs to " + Hex(rawEnd) + ", past the end of the file at " +
                                Hex(bytes.size()));
    }
    if (ReadU32(bytes, oh + kSizeOfImage) != nextRva)
        return inconsistent("the image size " + Hex(ReadU32(bytes, oh + kSizeOfImage)) + " is not the sections' end " +
                            Hex(nextRva));
    if (rawEnd != bytes.size())
        return Refuse("the stub has " + std::to_string(bytes.size() - rawEnd) +
                      " bytes after its last section (an overlay) at " + Hex(rawEnd));

    stub.newSectionHeaderAt = tableAt + kSectionHeaderSize * count;
    const auto slot = bytes.subspan(stub.newSectionHeaderAt,
                                    std::min<std::size_t>(kSectionHeaderSize, headersSize - stub.newSectionHeaderAt));
    // The slot must be free: some linkers keep other tables (bound imports) right after the section table.
    if (slot.size() < kSectionHeaderSize ||
        std::any_of(std::begin(slot), std::end(slot), [](std::byte b) { return b != std::byte{0}; }))
        return Refuse("the stub's headers have no free room for one more section header");
    stub.sectionRva = static_cast<std::uint32_t>(nextRva);
    stub.sectionFileOffset = static_cast<std::uint32_t>(rawEnd);
    return stub;
}

Expected<OutputImage> AddResourceSection(const StubImage& stub, std::uint32_t sectionSize)
{
    if (sectionSize == 0)
        return Refuse("an empty resource section");
    const std::uint64_t rawSize = AlignUp(sectionSize, kStubFileAlignment);
    const std::uint64_t fileSize = std::uint64_t{stub.sectionFileOffset} + rawSize;
    const std::uint64_t imageSize = AlignUp(std::uint64_t{stub.sectionRva} + sectionSize, stub.sectionAlignment);
    if (std::max(fileSize, imageSize) > kLargestImage)
        return Refuse("the installer would be " + std::to_string(std::max(fileSize, imageSize)) +
                      " bytes, more than the 1 GiB (1073741824 bytes) a 32-bit installer can map");

    OutputImage image;
    image.bytes.resize(static_cast<std::size_t>(fileSize));
    std::copy(std::begin(stub.bytes), std::end(stub.bytes), image.bytes.begin());
    image.sectionRva = stub.sectionRva;
    image.sectionFileOffset = stub.sectionFileOffset;
    image.sectionSize = sectionSize;
    image.checksumAt = stub.optionalHeaderAt + kCheckSum;

    const std::span<std::byte> out(image.bytes);
    const std::size_t header = stub.newSectionHeaderAt;
    for (std::size_t i = 0; kResourceSectionName[i] != '\0'; ++i)
        out[header + i] = static_cast<std::byte>(kResourceSectionName[i]);
    WriteU32(out, header + 8, sectionSize);
    WriteU32(out, header + 12, stub.sectionRva);
    WriteU32(out, header + 16, static_cast<std::uint32_t>(rawSize));
    WriteU32(out, header + 20, stub.sectionFileOffset);
    WriteU32(out, header + 36, kResourceSectionFlags);

    const std::size_t fh = stub.fileHeaderAt;
    const std::size_t oh = stub.optionalHeaderAt;
    WriteU16(out, fh + 2, static_cast<std::uint16_t>(ReadU16(out, fh + 2) + 1));
    WriteU16(out, fh + 18, ReadU16(out, fh + 18) | kRemovableRunFromSwap | kNetRunFromSwap);
    WriteU32(out, oh + kSizeOfInitializedData,
             static_cast<std::uint32_t>(ReadU32(out, oh + kSizeOfInitializedData) + rawSize));
    WriteU32(out, oh + kSizeOfImage, static_cast<std::uint32_t>(imageSize));
    const std::size_t resources = oh + kOptionalHeaderFixedSize + 8 * kResourceDirectory;
    WriteU32(out, resources, stub.sectionRva);
    WriteU32(out, resources + 4, sectionSize);
    WriteU32(out, image.checksumAt, 0);
    return image;
}

void SealImage(OutputImage& image)
{
    WriteU32(image.bytes, image.checksumAt, ImageChecksum(image.bytes, image.checksumAt));
}

std::uint32_t ImageChecksum(std::span<const std::byte> image, std::size_t checksumAt)
{
    // At most 1 GiB of 16-bit words: their plain sum cannot overflow 64 bits, so the carries
    // are folded once at the end.
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at + 1 < image.size(); at += 2)
        sum += ReadU16(image, at);
    if (image.size() % 2 != 0)
        sum += std::to_integer<std::uint64_t>(image.back());
    sum -= ReadU16(image, checksumAt) + ReadU16(image, checksumAt + 2);
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

} // namespace tazel::pack
