#include "ui/gdi_win.h"

namespace halvora::ui {

win::BitmapHandle LoadPicture(UINT id) {
  return win::BitmapHandle(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)));
}

SIZE PictureSize(HBITMAP picture) {
  BITMAP info{};
  if (!picture || GetObjectW(picture, sizeof info, &info) != sizeof info) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

void TilePicture(HDC dc, HBITMAP picture, const Rect& area) {
  const SIZE size = PictureSize(picture);
  if (size.cx <= 0 || size.cy <= 0) return;
  win::CreatedDc source(CreateCompatibleDC(dc));
  if (!source) return;
  win::ScopedSelectObject select(source.Get(), picture);
  for (const Tile& t : TileArea(area, size.cx, size.cy))
    BitBlt(dc, t.x, t.y, t.width, t.height, source.Get(), 0, 0, SRCCOPY);
}

OffscreenBuffer::OffscreenBuffer(HDC target, int width, int height)
    : width(width), height(height), dc(CreateCompatibleDC(target)) {
  if (!dc || width <= 0 || height <= 0) return;
  bitmap.Reset(CreateCompatibleBitmap(target, width, height));
  if (!bitmap) return;
  previous = SelectObject(dc.Get(), bitmap.Get());
  ok = previous != nullptr && previous != HGDI_ERROR;
}

OffscreenBuffer::~OffscreenBuffer() {
  // The bitmap leaves the context before either is deleted.
  if (ok) SelectObject(dc.Get(), previous);
}

void OffscreenBuffer::Fill(COLORREF colour) {
  win::BrushHandle brush(CreateSolidBrush(colour));
  const RECT all{0, 0, width, height};
  if (brush) FillRect(dc.Get(), &all, brush.Get());
}

void OffscreenBuffer::Present(HDC target) const {
  if (ok) BitBlt(target, 0, 0, width, height, dc.Get(), 0, 0, SRCCOPY);
}

}  // namespace halvora::ui
