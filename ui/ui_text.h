#pragma once
// The texts the window derives from the session: the application name cut to
// its box, the package size, the speed, and the message dialog's lines. Text
// widths come from a measuring function, so the rules run natively with a
// fake font and on Windows with the dialog's real one.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace halvora::ui {

// Width in pixels of a text drawn in the current font.
using MeasureText = std::function<int(const std::wstring&)>;

// Width of the main window's name box.
constexpr int kNameBoxWidth = 245;

struct FittedName {
  std::wstring text;       // what is drawn
  bool truncated = false;  // the full name did not fit: it goes into the tooltip
};

// A name wider than `boxWidth` keeps roughly the characters that fit, less two
// for the "..." that replaces the rest (n = boxWidth * length / width,
// truncated; the first n - 2 characters are kept, none when n - 2 < 1).
FittedName FitName(const std::wstring& name, int measuredWidth, int boxWidth = kNameBoxWidth);

// "%.2fKB", "%.2fMB" or "%.2fGB" of a package size in bytes. The servers send
// the size as a signed 32-bit count; it is read as unsigned so that a package
// of 2 GiB or more, whose count has wrapped, still reads as its size.
std::wstring FormatPackageSize(int32_t bytes);

// "%.2fKB/S" below 1000 KB/s, then "%.2fMB/S" (1024 KB to the MB) below
// 1024 MB/s, else "%.2fGB/S".
std::wstring FormatSpeed(double kbps);

// The progress bar's name for screen readers: "下载进度 42%", the share in
// whole percent, rounded down and held within 0 to 100.
std::wstring ProgressName(float fraction);

// Splits a message into the dialog's lines. With cw the width of "中": while
// more than 19 characters remain, the first line takes 17 characters (limit
// 17 cw, it is indented) and every later one 19 (limit 19 cw), then takes
// further characters while they keep the line within its limit. The rest, 19
// characters or fewer, is the last line as it is.
std::vector<std::wstring> WrapMessage(const std::wstring& message, const MeasureText& measure);

}  // namespace halvora::ui
