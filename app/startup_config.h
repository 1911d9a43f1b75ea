#pragma once
// The rules that turn the program's two configuration resources into the
// application id and the platform server's address. Portable: the Windows
// side only fetches the resource bytes (startup_config_win.cpp).

#include <cstdint>
#include <string>
#include <string_view>

namespace halvora {

// What looking up a configuration resource gave.
enum class ResourceState {
  kMissing,      // not found, not loadable, or of size 0
  kNotLockable,  // loaded, but its bytes could not be reached
  kLoaded,       // bytes available
};

// A resource's text: its bytes up to the first zero byte or to its end.
std::string ResourceText(std::string_view bytes);

// The decimal value of a port text, read as the C library reads an int:
// leading blanks and one sign are accepted, reading stops at the first
// non-digit, no digits give 0. A negative value wraps, as it would when held
// in an unsigned 32-bit field; values beyond the int range are clamped to it.
uint32_t PortFromText(std::string_view text);

struct ServerAddress {
  std::wstring host;
  uint32_t port = 80;
};

// Splits "host:port" at the last ':'; without one the whole text is the host
// and the port is 80. The host is narrow text in the active ANSI code page.
// In every code page the platform offers a trail byte is 0x40 or above, so a
// ':' byte is always a ':' character.
ServerAddress SplitServerText(std::string_view text);

// The server text for a SERVER_INFO resource in the given state: the
// resource's text when loaded, empty when not lockable, and
// `defaultHost` + ":80" when missing.
std::string ServerText(ResourceState state, std::string_view bytes, std::string_view defaultHost);

}  // namespace halvora
