#include "packer/image/VersionBlock.h"

#include <algorithm>

#include "core/LittleEndian.h"

namespace tazel::pack {
namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::uint16_t kBinary = 0;
constexpr std::uint16_t kText = 1;

void PadTo4(std::vector<std::byte>& block)
{
    block.resize(static_cast<std::size_t>(AlignUp(block.size(), 4)));
}

// Every part of the block is a node: length, value length, type, NUL-terminated key, padding to
// 4, value, then its children, each on a 4-byte boundary. As windres writes it, a node's length
// runs to the end of its last child without that child's trailing padding, and the padding comes
// before the next node instead.
class NodeWriter {
public:
    NodeWriter(std::vector<std::byte>& block, std::u16string_view key, std::uint16_t type) : block_(block)
    {
        PadTo4(block_);
        start_ = block_.size();
        AppendU16(block_, 0); // length, set by Close
        AppendU16(block_, 0); // value length, set by the value
        AppendU16(block_, type);
        AppendUtf16(block_, key);
        AppendU16(block_, 0);
        PadTo4(block_);
    }

    // Texts count their value in characters (NUL included), binary values in bytes.
    void TextValue(std::u16string_view text)
    {
        AppendUtf16(block_, text);
        AppendU16(block_, 0);
        valueLength_ = text.size() + 1;
    }

    void BinaryValue(std::size_t bytes) { valueLength_ = bytes; }

    // False when a length does not fit its 16 bits.
    [[nodiscard]] bool Close()
    {
        const std::size_t length = block_.size() - start_;
        if (length > 0xFFFF || valueLength_ > 0xFFFF)
            return false;
        WriteU16(block_, start_, static_cast<std::uint16_t>(length));
        WriteU16(block_, start_ + 2, static_cast<std::uint16_t>(valueLength_));
        return true;
    }

private:
    std::vector<std::byte>& block_;
    std::size_t start_ = 0;
    std::size_t valueLength_ = 0;
};

bool HasNul(std::u16string_view text)
{
    return text.find(u'\0') != std::u16string_view::npos;
}

} // namespace

Expected<std::vector<std::byte>> BuildVersionBlock(const VersionInfo& info)
{
    const bool nulInside =
        HasNul(info.tableKey) || std::any_of(std::begin(info.strings), std::end(info.strings),
                                             [](const VersionString& s) { return HasNul(s.key) || HasNul(s.value); });
    if (nulInside)
        return Refuse("a version block key or value has a NUL character in it");
    const auto tooLong = [] { return Refuse("the version block's texts outgrow its 16-bit lengths"); };

    std::vector<std::byte> block;
    NodeWriter root(block, u"VS_VERSION_INFO", kBinary);
    const FixedFileInfo& fixed = info.fixed;
    const auto pair = [](std::uint16_t high, std::uint16_t low) {
        return static_cast<std::uint32_t>(high) << 16 | low;
    };
    const std::size_t fixedAt = block.size();
    AppendU32(block, kFixedSignature);
    AppendU32(block, kFixedStructVersion);
    AppendU32(block, pair(fixed.fileVersion[0], fixed.fileVersion[1]));
    AppendU32(block, pair(fixed.fileVersion[2], fixed.fileVersion[3]));
    AppendU32(block, pair(fixed.productVersion[0], fixed.productVersion[1]));
    AppendU32(block, pair(fixed.productVersion[2], fixed.productVersion[3]));
    AppendU32(block, fixed.fileFlagsMask);
    AppendU32(block, fixed.fileFlags);
    AppendU32(block, fixed.fileOs);
    AppendU32(block, fixed.fileType);
    AppendU32(block, fixed.fileSubtype);
    AppendU32(block, 0); // the file date, which windres leaves zero
    AppendU32(block, 0);
    root.BinaryValue(block.size() - fixedAt);

    NodeWriter stringFileInfo(block, u"StringFileInfo", kText);
    NodeWriter table(block, info.tableKey, kText);
    for (const VersionString& string : info.strings) {
        NodeWriter entry(block, string.key, kText);
        entry.TextValue(string.value);
        if (!entry.Close())
            return tooLong();
    }
    if (!table.Close() || !stringFileInfo.Close())
        return tooLong();

    NodeWriter varFileInfo(block, u"VarFileInfo", kText);
    NodeWriter translation(block, u"Translation", kBinary);
    for (const Translation& t : info.translations) {
        AppendU16(block, t.language);
        AppendU16(block, t.codePage);
    }
    translation.BinaryValue(4 * info.translations.size());
    if (!translation.Close() || !varFileInfo.Close() || !root.Close())
        return tooLong();
    return block;
}

} // namespace tazel::pack
