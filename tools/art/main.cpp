// Draws the Tazel Deck art and writes every payload file derived from it into the
// directory named on the command line. The output depends on nothing but this program,
// so repeated runs give identical files.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "CardArt.h"
#include "Dib.h"
#include "Jpeg.h"
#include "Sheets.h"

namespace fs = std::filesystem;
using namespace tazel::art;

namespace {

// The host program checks these lengths, so they are fixed rather than whatever the
// encoder happens to produce.
constexpr std::size_t kDeckFileBytes = 264192;
constexpr std::size_t kDeckTrailingZeros = 3;
constexpr std::size_t kWindowPictureBytes = 8541;
constexpr std::size_t kStripTrailingZeros = 2;
constexpr int kWindowWidth = 151;
constexpr int kWindowHeight = 96;
constexpr int kIconSize = 32;
constexpr std::uint16_t kIconResourceId = 30001;

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void WriteAll(const fs::path& dir)
{
    fs::create_directories(dir);

    for (std::size_t i = 0; i < kStripCardSizes.size(); ++i)
        Write(dir / ("Tazel" + std::to_string(i) + ".cbx"),
              EncodeBmpFile(RenderStrip(kStripCardSizes[i]), kStripTrailingZeros));

    // The sheet has room for full-resolution colour, and halved chroma would smear the
    // gold hairlines into the dark rim.
    Bytes deck = EncodeJpegOfLength(RenderSheet(), kDeckFileBytes - kDeckTrailingZeros, ChromaSampling::Full);
    PutZeros(deck, kDeckTrailingZeros);
    Write(dir / "Tazel.dek", deck);

    const RgbImage window =
        Render(kWindowWidth, kWindowHeight, [](cairo_t* cr) { DrawWindowPicture(cr, kWindowWidth, kWindowHeight); });
    Write(dir / "Window.jpg", EncodeJpegOfLength(window, kWindowPictureBytes, ChromaSampling::Halved));

    const RgbImage icon = Render(kIconSize, kIconSize, [](cairo_t* cr) { DrawIcon(cr, kIconSize); });
    const Bytes iconImage = EncodeIconImage(icon);
    Write(dir / "Icon30001.bin", iconImage);
    Write(dir / "IconGroup1.bin", EncodeIconGroup(icon, static_cast<std::uint32_t>(iconImage.size()), kIconResourceId));
    Write(dir / "Tazel.ico", EncodeIcoFile(icon, iconImage));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argc > 0 ? argv[0] : "tazel_art");
        return 2;
    }
    try {
        WriteAll(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tazel_art: %s\n", e.what());
        return 1;
    }
    return 0;
}
