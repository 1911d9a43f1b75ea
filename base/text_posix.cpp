#include "base/text.h"

#include <climits>
#include <cwchar>

namespace halvora {

std::wstring AnsiToWide(std::string_view narrow) {
  std::wstring wide;
  wide.reserve(narrow.size());
  std::mbstate_t state{};
  size_t i = 0;
  while (i < narrow.size()) {
    wchar_t ch = 0;
    const size_t used = std::mbrtowc(&ch, narrow.data() + i, narrow.size() - i, &state);
    if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
      // Invalid or cut-off sequence: one replacement character per bad byte.
      wide.push_back(L'\uFFFD');
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    wide.push_back(ch);
    i += used == 0 ? 1 : used;  // an embedded zero byte converts to L'\0'
  }
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  std::string narrow;
  narrow.reserve(wide.size());
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  for (wchar_t ch : wide) {
    const size_t used = std::wcrtomb(buf, ch, &state);
    if (used == static_cast<size_t>(-1)) {
      narrow.push_back('?');
      state = std::mbstate_t{};
      continue;
    }
    narrow.append(buf, used);
  }
  return narrow;
}

}  // namespace halvora
