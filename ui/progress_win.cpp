#include "ui/progress.h"

#include "res/artwork.h"
#include "res/resource.h"
#include "ui/gdi_win.h"
#include "ui/geometry.h"

namespace halvora::ui {

CProgress::CProgress() : CDialog(IDD_PROGRESS_DIALOG) {}

BOOL CProgress::OnInitDialog() {
  track = LoadPicture(IDB_PROGRESS_TRACK);
  fill = LoadPicture(IDB_PROGRESS_FILL);
  return FALSE;  // a bar takes no focus
}

void CProgress::SetRange(uint32_t value) { range = value; }

void CProgress::SetPercent(float fraction) {
  position = ProgressPosition(fraction, range);
  if (Handle())
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

bool CProgress::OnEraseBkgnd(HDC dc) {
  RECT client{};
  GetClientRect(Handle(), &client);
  OffscreenBuffer buffer(dc, client.right, client.bottom);
  if (!buffer.Ok()) return true;
  buffer.Fill(RGB(255, 255, 255));
  const Rect all = FromRECT(client);
  TilePicture(buffer.Dc(), track.Get(), all);
  const int filled = ProgressFillWidth(position, range, all.Width());
  if (filled > 0) TilePicture(buffer.Dc(), fill.Get(), {0, 0, filled, all.bottom});
  buffer.Present(dc);
  return true;
}

bool CProgress::OnPaint() {
  // Everything is drawn with the background; validate the update region.
  PAINTSTRUCT ps;
  BeginPaint(Handle(), &ps);
  EndPaint(Handle(), &ps);
  return true;
}

}  // namespace halvora::ui
