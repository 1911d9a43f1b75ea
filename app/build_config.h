#pragma once
// Settings fixed when the program is built (CMake cache variables of the same
// names, handed to the code as compile definitions of halvora_build_config).

namespace halvora::build_config {

// Platform server host used when the program carries no SERVER_INFO; port 80.
inline constexpr char kDefaultServerHost[] = HALVORA_DEFAULT_SERVER;

// "host[:port]" of the public file host that serves the platform client's
// package. The test build points it at a loopback port.
inline constexpr char kPublicFileHost[] = HALVORA_PUBLIC_FILE_HOST;

}  // namespace halvora::build_config
