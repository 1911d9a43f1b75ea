#include "env/user_folder.h"

std::wstring ReplaceProfileFolder(std::wstring_view folder, std::wstring_view sessionUser) {
  const bool driveLetter =
      folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\' &&
      ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z'));
  if (!driveLetter) return std::wstring(folder);
  const size_t first = folder.find(L'\\');
  const size_t second = first == std::wstring_view::npos ? first : folder.find(L'\\', first + 1);
  const size_t third = second == std::wstring_view::npos ? second : folder.find(L'\\', second + 1);
  if (third == std::wstring_view::npos || sessionUser.empty()) return std::wstring(folder);
  std::wstring result(folder.substr(0, second + 1));
  result += sessionUser;
  result += folder.substr(third);
  return result;
}
