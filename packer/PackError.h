#pragma once
// How the package maker reports what it refuses: a sentence for the publisher, in UTF-8.

#include <expected>
#include <string>
#include <utility>

namespace tazel::pack {

struct PackError {
    std::string message;
};

template <typename T>
using Expected = std::expected<T, PackError>;

[[nodiscard]] inline std::unexpected<PackError> Refuse(std::string message)
{
    return std::unexpected(PackError{std::move(message)});
}

} // namespace tazel::pack
