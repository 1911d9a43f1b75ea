#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace halvora::ui {
namespace {

TEST(FitName, CutsAtTheShareThatFits) {
  const struct {
    std::wstring name;
    int width;
    std::wstring shown;
    bool truncated;
  } cases[] = {
      {L"Short name", 80, L"Short name", false},
      {std::wstring(40, L'x'), 245, std::wstring(40, L'x'), false},  // exactly the box
      // 40 characters measuring 490: n = 20, 18 kept.
      {std::wstring(40, L'x'), 490, std::wstring(18, L'x') + L"...", true},
      // n = 245 * 10 / 246 = 9.96, truncated to 9: 7 kept.
      {L"0123456789", 246, L"0123456...", true},
      // n - 2 below 1: nothing but the dots.
      {L"中文", 490, L"...", true},
      {std::wstring(5, L'w'), 400, L"w...", true},  // n = 3: one kept
  };
  for (const auto& c : cases) {
    const FittedName got = FitName(c.name, c.width);
    EXPECT_EQ(got.text, c.shown) << c.width;
    EXPECT_EQ(got.truncated, c.truncated) << c.width;
  }
}

TEST(Texts, PackageSizeAndSpeed) {
  const struct {
    int32_t bytes;
    const wchar_t* text;
  } sizes[] = {
      {0, L"0.00KB"},
      {1536, L"1.50KB"},
      {1048575, L"1024.00KB"},  // KB just below 1024, rounded by the format
      {1048576, L"1.00MB"},
      {1073741823, L"1024.00MB"},
      {1073741824, L"1.00GB"},
      // A count past 2 GiB arrives wrapped; it still reads as the size.
      {static_cast<int32_t>(UINT32_C(3221225472)), L"3.00GB"},
      {-1, L"4.00GB"},
  };
  for (const auto& c : sizes) EXPECT_EQ(FormatPackageSize(c.bytes), c.text) << c.bytes;

  const struct {
    double kbps;
    const wchar_t* text;
  } speeds[] = {
      {0.0, L"0.00KB/S"},       {999.99, L"999.99KB/S"},
      {1000.0, L"0.98MB/S"},  // MB from 1000 KB/s on, not 1024
      {1536.0, L"1.50MB/S"},    {1048575.0, L"1024.00MB/S"},
      {1048576.0, L"1.00GB/S"},
  };
  for (const auto& c : speeds) EXPECT_EQ(FormatSpeed(c.kbps), c.text) << c.kbps;

  const struct {
    float fraction;
    const wchar_t* text;
  } shares[] = {
      {0.0f, L"\u4e0b\u8f7d\u8fdb\u5ea6 0%"},    {0.4299f, L"\u4e0b\u8f7d\u8fdb\u5ea6 42%"},
      {0.999f, L"\u4e0b\u8f7d\u8fdb\u5ea6 99%"}, {1.0f, L"\u4e0b\u8f7d\u8fdb\u5ea6 100%"},
      {1.5f, L"\u4e0b\u8f7d\u8fdb\u5ea6 100%"},  {-0.2f, L"\u4e0b\u8f7d\u8fdb\u5ea6 0%"},
  };
  for (const auto& c : shares) EXPECT_EQ(ProgressName(c.fraction), c.text) << c.fraction;
}

// A font where CJK characters are 14 pixels wide and everything else 7.
int FakeWidth(const std::wstring& text) {
  int w = 0;
  for (wchar_t ch : text) w += ch >= 0x2E80 ? 14 : 7;
  return w;
}

std::vector<size_t> Lengths(const std::vector<std::wstring>& lines) {
  std::vector<size_t> n;
  for (const auto& l : lines) n.push_back(l.size());
  return n;
}

TEST(WrapMessage, LinesByCountThenWidth) {
  const struct {
    const char* what;
    std::wstring message;
    std::vector<size_t> lengths;
  } cases[] = {
      {"empty", L"", {}},
      {"the question", L"是否终止下载？", {7}},
      {"30 wide", std::wstring(30, L'中'), {17, 13}},
      {"100 wide", std::wstring(100, L'中'), {17, 19, 19, 19, 19, 7}},
      {"20 wide", std::wstring(20, L'中'), {17, 3}},
      // 19 characters are never wrapped, however wide.
      {"19 wide", std::wstring(19, L'中'), {19}},
      // Narrow characters fill the line up to its width: 238 pixels on the
      // first line (34 characters), 266 on later ones (38).
      {"narrow", std::wstring(100, L'a'), {34, 38, 28}},
      // After 17 wide characters (238 pixels) the line is full.
      {"wide then narrow", std::wstring(17, L'中') + std::wstring(10, L'a'), {17, 10}},
      // Narrow first: 17 narrow characters (119), then wide ones while they fit
      // (8 more make 231; a ninth would make 245).
      {"narrow then wide", std::wstring(17, L'a') + std::wstring(20, L'中'), {25, 12}},
  };
  for (const auto& c : cases) {
    const auto lines = WrapMessage(c.message, FakeWidth);
    EXPECT_EQ(Lengths(lines), c.lengths) << c.what;
    std::wstring joined;
    for (const auto& l : lines) joined += l;
    EXPECT_EQ(joined, c.message) << c.what;  // nothing lost or repeated
  }
}

TEST(WrapMessage, ZeroWidthFontStillEnds) {
  const auto lines = WrapMessage(std::wstring(40, L'中'), [](const std::wstring&) { return 0; });
  EXPECT_EQ(Lengths(lines), (std::vector<size_t>{17, 19, 4}));
}

}  // namespace
}  // namespace halvora::ui
