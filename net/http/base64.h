#pragma once
// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks), the form in
// which service requests travel in the URL path.

#include <cstddef>
#include <string>
#include <string_view>

namespace halvora {

std::string Base64Encode(const unsigned char* data, size_t length);
// The same for the bytes of a text.
std::string Base64Encode(std::string_view bytes);

}  // namespace halvora
