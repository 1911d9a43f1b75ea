#pragma once
// The server's side of gzip-encoded answers, for the reference server and the
// tests; the program only inflates (gzip_body.h).

#include <string>

namespace halvora {

// gzip stream (RFC 1952) of `data`; empty when zlib refuses.
std::string GzipCompress(const std::string& data);

}  // namespace halvora
