#pragma once
// The integrity check of the payload: every entry the package record has a digest for, hashed a
// step at a time and compared. The installer runs it in its pause; the package maker's inspection
// (packer/programs/InstallerReport.h) runs the same check on an installer it reads back.

#include "core/Expected.h"
#include <cstddef>
#include <optional>
#include <span>

#include "core/Failure.h"
#include "core/PackageManifest.h"
#include "core/Pause.h"
#include "core/Sha256.h"

namespace tazel {

// The check hashes the payload in steps of this many bytes, between which the installer's pause
// serves the window: well under a millisecond each in 32-bit code (bench/CheckTiming.cpp).
inline constexpr std::size_t kCheckStepBytes = 64 * 1024;

// One payload entry's stored bytes. A view: whoever holds the image owns them.
using PayloadBytes = std::span<const std::byte>;

// Where the check fetches the entries: the installer's own resources, or an image read back.
class PayloadSource {
public:
    virtual ~PayloadSource() = default;

    // An entry's stored bytes, in the resource type of its storage.
    [[nodiscard]] virtual Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage) = 0;
};

// An entry without a digest (test packages only) is left to the copy stage.
class PayloadCheck final : public PauseWork {
public:
    // From entry `first` on, so that a reader may go on past a damaged entry.
    PayloadCheck(const PackageManifest& manifest, PayloadSource& source, std::size_t first = 0)
        : manifest_(manifest), source_(source), entry_(first)
    {
    }

    bool Step() override;

    // Once no step is left: an entry that could not be fetched, or whether every entry matched.
    [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }
    [[nodiscard]] bool damaged() const { return damaged_; }
    // The entry the check stopped at, when it failed or found damage.
    [[nodiscard]] std::size_t entry() const { return entry_; }

private:
    bool Stop()
    {
        done_ = true;
        return false;
    }

    const PackageManifest& manifest_;
    PayloadSource& source_;
    std::size_t entry_ = 0;
    bool inEntry_ = false;
    PayloadBytes rest_;
    Sha256 sha_;
    bool done_ = false;
    bool damaged_ = false;
    std::optional<Failure> failure_;
};

} // namespace tazel
