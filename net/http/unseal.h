#pragma once
// The server's side of request sealing: base64 decoding, the AES-256 inverse
// cipher and unsealing. The reference server and the tests link this; the
// program does not, since it only ever seals.

#include <optional>
#include <string>
#include <string_view>

#include "net/http/aes256.h"

namespace halvora {

// Strict RFC 4648 decoding: length a multiple of four, "=" only as final
// padding. Returns nothing for any other input.
std::optional<std::string> Base64Decode(std::string_view text);

Aes256::Block DecryptBlock(const Aes256& aes, const Aes256::Block& in);

// Reverses SealRequestText. Returns nothing when the text is not base64, not
// whole blocks, or its PKCS#7 padding is not well formed.
std::optional<std::string> UnsealRequestText(std::string_view sealed);

}  // namespace halvora
