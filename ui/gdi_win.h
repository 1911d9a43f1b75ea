#pragma once
// Small drawing helpers shared by the window and its widgets.

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "ui/geometry.h"

namespace halvora::ui {

inline Rect FromRECT(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
inline RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// A bitmap resource of the program; empty when it is missing.
win::BitmapHandle LoadPicture(UINT id);

// Width and height of a bitmap; 0 x 0 for none.
SIZE PictureSize(HBITMAP picture);

// Copies `picture` over `area` of `dc` as tiles clipped at the area's right
// and bottom edges (see TileArea).
void TilePicture(HDC dc, HBITMAP picture, const Rect& area);

// An off-screen copy of a client area: draw into Dc(), then Present() copies
// it to the target in one operation. Owns its bitmap and memory context and
// restores the context's selection before releasing them.
class OffscreenBuffer {
 public:
  OffscreenBuffer(HDC target, int width, int height);
  ~OffscreenBuffer();
  OffscreenBuffer(const OffscreenBuffer&) = delete;
  OffscreenBuffer& operator=(const OffscreenBuffer&) = delete;

  bool Ok() const { return ok; }
  HDC Dc() const { return dc.Get(); }
  void Fill(COLORREF colour);
  void Present(HDC target) const;

 private:
  int width;
  int height;
  win::CreatedDc dc;
  win::BitmapHandle bitmap;  // declared before the selection that holds it
  HGDIOBJ previous = nullptr;
  bool ok = false;
};

}  // namespace halvora::ui
