#pragma once
// CProgress: the picture-drawn progress bar. A child dialog (template 105)
// holding a position within a range; it tiles the track picture over its
// client area and the fill picture over the filled share. Its window text
// tells screen readers the share ("下载进度 42%"), renewed at most once a
// second, and at once when the bar is full.

#include <windows.h>

#include <cstdint>

#include "base/win/scoped_handle.h"
#include "ui/window.h"

namespace halvora::ui {

class CProgress : public CDialog {
 public:
  CProgress();

  void SetRange(uint32_t range);
  // Position := range * fraction (clamped), then the bar repaints at once.
  // UI thread only: other threads hand the fraction over by message.
  void SetPercent(float fraction);

  uint32_t Position() const { return position; }

 protected:
  BOOL OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  bool OnPaint() override;

 private:
  uint32_t position = 0;
  uint32_t range = 0;
  ULONGLONG namedAt = 0;  // tick of the last change of the window text
  win::BitmapHandle track;
  win::BitmapHandle fill;
};

}  // namespace halvora::ui
