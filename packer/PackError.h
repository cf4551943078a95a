#pragma once
// How the package maker reports what it refuses: a sentence for the publisher, in UTF-8.

#include "core/Expected.h"
#include <string>
#include <utility>

namespace tazel::pack {

struct PackError {
    std::string message;
};

template <typename T>
using Expected = tazel::Expected<T, PackError>;

[[nodiscard]] inline Unexpected<PackError> Refuse(std::string message)
{
    return Unexpected(PackError{std::move(message)});
}

} // namespace tazel::pack
