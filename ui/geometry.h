#pragma once
// The window's geometry as plain arithmetic: where every element of the main
// window and of the message dialog sits, how pictures tile an area, where the
// name tooltip goes and how much of the progress bar is filled. No Windows
// headers, so all of it is tested natively.

#include <cstdint>
#include <vector>

namespace halvora::ui {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// The main window's size, client and window alike (it has no frame).
constexpr int kMainWidth = 396;
constexpr int kMainHeight = 234;

struct MainLayout {
  Rect close;     // command 1123
  Rect name;      // application name text
  Rect size;      // package size text
  Rect icon;      // 48 x 48 application icon
  Rect progress;  // CProgress
  Rect speed;     // speed label, control 1001
  Rect pause;     // command 1125
  Rect cancel;    // command 1124
  Rect launch;    // command 1126
};

// Everything is placed relative to the client rectangle's edges.
MainLayout ComputeMainLayout(const Rect& client);

// The message dialog: 262 x 160 with a close cross and one or two buttons.
constexpr int kMessageWidth = 262;
constexpr int kMessageHeight = 160;

struct MessageLayout {
  Rect close;   // command 1128
  Rect action;  // 是 (confirmation) or 确定 (notice), command 1127
  Rect no;      // 否, command 1128; confirmation only
};

// The confirmation puts 是 60 pixels left of 否; the notice puts 确定 where 否
// would be.
MessageLayout ComputeMessageLayout(const Rect& client, bool confirm);

// Rectangles of the message lines that are drawn: at most four, the first
// indented, all of them moved up as the line count grows so the block stays
// centred in the body.
constexpr int kMessageLinesDrawn = 4;
std::vector<Rect> MessageLineRects(const Rect& client, int lineCount);

// One copy of a picture when tiling: the destination's top-left corner and the
// part of the picture copied (from the picture's top-left, clipped at the
// area's right and bottom edges).
struct Tile {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Tile& o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height;
  }
};

// Rows start at the area's top and step by the picture's height, columns at
// its left and step by its width. An empty area or picture gives no tiles.
std::vector<Tile> TileArea(const Rect& area, int pictureWidth, int pictureHeight);

// The name tooltip's rectangle for a pointer at (x, y) in screen coordinates:
// 15 pixels below the pointer, shifted left to end at the work area's right
// edge when it would cross it, and put 15 pixels above the pointer when it
// would cross the work area's bottom edge.
Rect PlaceTooltip(int x, int y, int width, int height, const Rect& workArea);

// The progress bar's position for a fraction of the range: clamped to
// [0, range]; a fraction that is not a number counts as 0.
uint32_t ProgressPosition(float fraction, uint32_t range);

// Pixels filled of a bar `width` wide (truncated).
int ProgressFillWidth(uint32_t position, uint32_t range, int width);

}  // namespace halvora::ui
