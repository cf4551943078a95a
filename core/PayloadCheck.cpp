#include "core/PayloadCheck.h"

#include <algorithm>

namespace tazel {

bool PayloadCheck::Step()
{
    if (done_)
        return false;
    if (!inEntry_) {
        while (entry_ < kFileCount && !manifest_.PayloadDigests[entry_])
            ++entry_;
        if (entry_ == kFileCount)
            return Stop();
        auto payload = source_.LoadPayload(kFirstPayloadResourceId + static_cast<int>(entry_), manifest_.Storage);
        if (!payload) {
            // Constructed, not assigned (the check stops at its first failure, so none is there
            // yet): an assignment brings the string's move assignment in, some 200 bytes of code.
            failure_.emplace(std::move(payload.error()));
            return Stop();
        }
        rest_ = *payload;
        sha_ = Sha256();
        inEntry_ = true;
    }
    const PayloadBytes piece = rest_.first(std::min(rest_.size(), kCheckStepBytes));
    sha_.Add(piece);
    rest_ = rest_.subspan(piece.size());
    if (rest_.empty()) {
        inEntry_ = false;
        if (sha_.Finish() != *manifest_.PayloadDigests[entry_]) {
            damaged_ = true;
            return Stop();
        }
        ++entry_;
    }
    return true;
}

} // namespace tazel
