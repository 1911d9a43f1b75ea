// Owners of Win32 handles: releasing the handle an owner held leaves the
// thread's last error as it was, for callers that read it after putting a
// new handle in (`h.Reset(CreateFileW(...)); if (!h) Report(GetLastError());`).

#include "base/win/scoped_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

namespace halvora::win {
namespace {

// A kind whose release fails and says so through the last error, as a
// release of a handle the system no longer knows does.
int closes = 0;
struct FailingCloseTraits {
  using Handle = int;
  static Handle Invalid() { return 0; }
  static void Close(Handle) {
    ++closes;
    ::SetLastError(ERROR_INVALID_HANDLE);
  }
};
using Owner = std::optional<ScopedHandle<FailingCloseTraits>>;

TEST(ScopedHandle, ReleaseKeepsTheLastError) {
  const struct {
    const char* name;
    void (*release)(Owner&);
  } cases[] = {
      {"Reset", [](Owner& owner) { owner->Reset(); }},
      {"Reset to a new handle", [](Owner& owner) { owner->Reset(2); }},
      {"Receive", [](Owner& owner) { *owner->Receive() = 2; }},
      {"move assignment", [](Owner& owner) { *owner = ScopedHandle<FailingCloseTraits>(2); }},
      {"destruction", [](Owner& owner) { owner.reset(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Owner owner(std::in_place, 1);
    closes = 0;
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    c.release(owner);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
}

}  // namespace
}  // namespace halvora::win
