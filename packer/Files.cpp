#include "packer/Files.h"

#include <cerrno>

namespace tazel::pack {

tazel::Expected<std::size_t, SystemError> InputFile::Read(std::span<std::byte> buffer)
{
    errno = 0;
    const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    if (count < buffer.size() && std::ferror(file_.get())) {
        const std::error_code error(errno, std::generic_category());
        return Unexpected(SystemError{error, error.message()});
    }
    return count;
}

} // namespace tazel::pack
