// The product's stub carries no decoder: the packer puts compressed packages into the stub built
// with payload/Decoding.cpp instead. A compressed entry here can only be a record that lies.

#include "payload/Payload.h"

namespace tazel::win32 {

const wchar_t* PayloadResourceType(PayloadStorage) noexcept
{
    return kPayloadResourceType;
}

// The copy stage's failure trap is armed before any entry is decoded, so the report is the failed
// copy's, which shows no description: none is made, which keeps the product's code small.
Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes)
{
    return Unexpected(Failure{ERROR_NOT_SUPPORTED, {}});
}

} // namespace tazel::win32
