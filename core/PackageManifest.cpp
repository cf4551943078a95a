#include "core/PackageManifest.h"

namespace tazel {

bool IsManifestUsable(const PackageManifest& manifest)
{
    return !manifest.FileNames[0].empty();
}

std::int32_t LastFileIndexFor(std::wstring_view firstFileName)
{
    const std::wstring_view ending =
        firstFileName.size() < 3 ? firstFileName : firstFileName.substr(firstFileName.size() - 3);

    // Both tests run, one after the other, exactly as the host's package kinds were defined;
    // the comparison is case-sensitive on purpose ("DEK" is not a deck).
    std::int32_t last = 0;
    if (ending == kFaceEnding)
        last = 4;
    if (ending == kDeckEnding)
        last = 7;
    return last;
}

} // namespace tazel
