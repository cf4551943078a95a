#pragma once
// The packer's few dealings with the machine it runs on, Linux or Windows: its file system, its
// standard streams and its processors.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "packer/PackError.h"

namespace tazel::pack {

// The bytes of a file, read whole; refused with the system's reason.
[[nodiscard]] Expected<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path);

// Fills `place` from the file, which must hold exactly that many bytes: one that grew or shrank
// since its size was taken is refused, never packed in part.
[[nodiscard]] Expected<void> ReadFileInto(const std::filesystem::path& path, std::span<std::byte> place);

// Writes `bytes` as the file `target`, whole or not at all: into a temporary file beside it,
// flushed to the disk, which then takes the target's place in one step. On any failure, and when
// the packer is interrupted meanwhile, the temporary file goes and an earlier target stays as it was.
[[nodiscard]] Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes);

// A path as a message shows it, in UTF-8.
[[nodiscard]] std::string Shown(const std::filesystem::path& path);

// Standard output and standard error, UTF-8 text (on a Windows console, shown as such).
void PrintOut(const std::string& text);
void PrintError(const std::string& text);

// Runs job(context, i) for every i below `count`, spread over the machine's processors, and
// returns once all have. The jobs must not throw, and each must touch only what is its own.
using Job = void (*)(void* context, std::size_t index) noexcept;
void RunJobs(std::size_t count, Job job, void* context);

} // namespace tazel::pack
