#pragma once
// What the fuzz targets share: a check whose failure is a finding as a crash is, the input as
// bytes, and the installer's decoding of a compressed entry.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "core/CodedEntry.h"

// Aborts, which libFuzzer reports with the input, as it does a sanitizer's report.
#define FUZZ_CHECK(condition) ((condition) ? void(0) : tazel::fuzz::Fail(#condition, __FILE__, __LINE__))

namespace tazel::fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// libFuzzer's input lies in an allocation of its exact size, so a read past it is caught.
inline std::span<const std::byte> Bytes(const std::uint8_t* data, std::size_t size)
{
    return std::as_bytes(std::span(data, size));
}

// What the installer does with a compressed entry (payload/Decoding.cpp), on one thread: each
// chunk into its part of `out`, which is the entry's length, then the filter undone.
inline bool DecodeEntry(const CodedEntry& entry, std::span<std::byte> out)
{
    if (entry.method == CodedMethod::Stored) {
        std::copy(entry.chunks[0].stream.begin(), entry.chunks[0].stream.end(), out.begin());
        return true;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < entry.chunkCount; ++i) {
        if (!DecodeChunk(entry.chunks[i], entry.properties, out.subspan(at, entry.chunks[i].length)))
            return false;
        at += entry.chunks[i].length;
    }
    UndoDelta(out, entry.deltaDistance);
    return true;
}

} // namespace tazel::fuzz
