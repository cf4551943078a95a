// Writes a finished image made from the minimal stub, for check_with_pefile.py to read with a
// reader of its own: OUT/image.exe, each resource's bytes as OUT/<n>.bin and OUT/resources.txt,
// one line per resource: type, name, language, file (numbers in decimal, names as given).

#include <cstdio>
#include <fstream>
#include <iostream>

#include "tests/packer/image/ImageFixture.h"

namespace {

using namespace tazel::pack;

std::string Text(const ResourceId& id)
{
    if (const auto* number = std::get_if<std::uint16_t>(&id))
        return std::to_string(*number);
    return {std::get<std::u16string>(id).begin(), std::get<std::u16string>(id).end()}; // ASCII only
}

bool Write(const std::string& path, std::span<const std::byte> bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: tazel_packer_image_sample OUT_DIR\n";
        return 2;
    }
    const std::string out = argv[1];
    const auto version = BuildVersionBlock(
        test::ProductVersion(u"T\u00e0zelF\u00e4ces", u"T\u00e0zel \"F\u00e4ces\" \\ \u00dcn\u00efcode \U0001F0A1"));
    if (!version) {
        std::cerr << version.error().message << "\n";
        return 1;
    }
    const auto resources = test::SampleResources(*version);
    const auto image = test::Compose(test::MinimalStub(), resources);
    if (!image) {
        std::cerr << image.error().message << "\n";
        return 1;
    }
    std::ofstream listing(out + "/resources.txt");
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i].resource;
        const std::string file = std::to_string(i) + ".bin";
        listing << Text(r.type) << '\t' << Text(r.name) << '\t' << r.language << '\t' << file << '\n';
        if (!Write(out + "/" + file, resources[i].data))
            return 1;
    }
    return Write(out + "/image.exe", *image) && listing ? 0 : 1;
}
