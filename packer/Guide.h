#pragma once
// What the packer tells a publisher who has nothing but the packer: the description's form for
// --help, and a starter description to fill in for --new. Both are made from the reader's own key
// table and the installer's kind rule (packer/Description.h), so they name what the check takes.

#include <optional>
#include <string>
#include <string_view>

namespace tazel::pack {

// The description's form in short: its keys with what each takes and its default, the [files]
// section, and the kinds the first file's name makes. Lines of at most 79 columns.
[[nodiscard]] std::string DescriptionGuide();

// The kinds' names, for messages: "deck or face".
[[nodiscard]] std::string KindNames();

// A commented description of a package of the kind named ("deck", "face"), whose every line is
// explained; filled with the files its sources name, it checks good as it stands. Nothing for
// another name.
[[nodiscard]] std::optional<std::string> StarterDescription(std::string_view kind);

} // namespace tazel::pack
