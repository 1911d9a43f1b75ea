#include "ui/ui_text.h"

#include <cwchar>

namespace halvora::ui {
namespace {

std::wstring Format(const wchar_t* format, double value) {
  wchar_t buffer[64];
  const int n = std::swprintf(buffer, sizeof buffer / sizeof buffer[0], format, value);
  return n > 0 ? std::wstring(buffer, static_cast<size_t>(n)) : std::wstring();
}

}  // namespace

FittedName FitName(const std::wstring& name, int measuredWidth, int boxWidth) {
  if (measuredWidth <= boxWidth) return {name, false};
  const double fits = static_cast<double>(boxWidth) * static_cast<double>(name.size()) /
                      static_cast<double>(measuredWidth);
  const long long keep = static_cast<long long>(fits) - 2;
  std::wstring shown = keep >= 1 ? name.substr(0, static_cast<size_t>(keep)) : std::wstring();
  shown += L"...";
  return {shown, true};
}

std::wstring FormatPackageSize(int32_t bytes) {
  const double kb = static_cast<double>(static_cast<uint32_t>(bytes)) / 1024.0;
  if (kb < 1024.0) return Format(L"%.2fKB", kb);
  const double mb = kb / 1024.0;
  if (mb < 1024.0) return Format(L"%.2fMB", mb);
  return Format(L"%.2fGB", mb / 1024.0);
}

std::wstring FormatSpeed(double kbps) {
  if (kbps < 1000.0) return Format(L"%.2fKB/S", kbps);
  if (kbps / 1024.0 < 1024.0) return Format(L"%.2fMB/S", kbps / 1024.0);
  return Format(L"%.2fGB/S", kbps / 1024.0 / 1024.0);
}

std::wstring ProgressName(float fraction) {
  const float percent = fraction * 100.0f;
  const int whole = !(percent > 0.0f) ? 0 : percent >= 100.0f ? 100 : static_cast<int>(percent);
  return L"\u4e0b\u8f7d\u8fdb\u5ea6 " + std::to_wstring(whole) + L"%";  // 下载进度
}

std::vector<std::wstring> WrapMessage(const std::wstring& message, const MeasureText& measure) {
  constexpr size_t kFirstLine = 17;  // the first line is indented
  constexpr size_t kLine = 19;
  const int cw = measure(L"中");
  std::vector<std::wstring> lines;
  std::wstring rest = message;
  while (rest.size() > kLine) {
    const size_t take = lines.empty() ? kFirstLine : kLine;
    const int limit = static_cast<int>(take) * cw;
    std::wstring line = rest.substr(0, take);
    rest.erase(0, take);
    while (!rest.empty() && measure(line) < limit) {
      if (measure(line + rest[0]) > limit) break;
      line += rest[0];
      rest.erase(0, 1);
    }
    lines.push_back(line);
  }
  if (!rest.empty()) lines.push_back(rest);
  return lines;
}

}  // namespace halvora::ui
