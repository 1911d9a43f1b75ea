#include "app/startup_config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace halvora {
namespace {

TEST(StartupConfig, ServerTextSplitsAtTheLastColon) {
  struct Case {
    const char* name;
    std::string text;
    std::wstring host;
    uint32_t port;
  };
  const Case cases[] = {
      {"host and port", "platform.example:8080", L"platform.example", 8080},
      {"two colons: the last one splits", "a:b:81", L"a:b", 81},
      {"no colon: the whole text, port 80", "platform.example", L"platform.example", 80},
      {"empty text", "", L"", 80},
      {"trailing colon: port 0", "host:", L"host", 0},
      {"leading colon: empty host", ":8080", L"", 8080},
      {"leading blanks", "host: \t 8080", L"host", 8080},
      {"plus sign", "host:+8080", L"host", 8080},
      {"minus sign wraps as unsigned", "host:-1", L"host", 0xFFFFFFFFu},
      {"stops at the first non-digit", "host:80ab", L"host", 80},
      {"no digits: port 0", "host:http", L"host", 0},
      {"sign without digits", "host:-", L"host", 0},
      {"blank inside the number stops it", "host:80 80", L"host", 80},
      {"beyond the int range is clamped", "host:99999999999", L"host", 0x7FFFFFFFu},
      {"below the int range is clamped", "host:-99999999999", L"host", 0x80000000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ServerAddress address = SplitServerText(c.text);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
  }
}

TEST(StartupConfig, ResourceTextEndsAtTheFirstZeroByteOrTheEnd) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"no terminator", "demo-app", "demo-app"},
      {"zero byte inside", std::string("demo\0app", 8), "demo"},
      {"zero byte first", std::string("\0demo", 5), ""},
      {"terminated", std::string("demo-app\0", 9), "demo-app"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResourceText(c.bytes), c.text);
  }
}

TEST(StartupConfig, ServerResourceStateChoosesTheText) {
  struct Case {
    const char* name;
    ResourceState state;
    std::string bytes;
    std::wstring host;
    uint32_t port;
  };
  const Case cases[] = {
      {"loaded", ResourceState::kLoaded, "10.1.2.3:8080", L"10.1.2.3", 8080},
      {"loaded, zero byte before the port", ResourceState::kLoaded,
       std::string("10.1.2.3\0:8080", 14), L"10.1.2.3", 80},
      {"missing: the default host, port 80", ResourceState::kMissing, "", L"fallback.example", 80},
      {"not lockable: empty host, port 80", ResourceState::kNotLockable, "x:1", L"", 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ServerAddress address = SplitServerText(ServerText(c.state, c.bytes, "fallback.example"));
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
  }
}

}  // namespace
}  // namespace halvora
