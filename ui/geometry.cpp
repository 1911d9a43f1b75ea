#include "ui/geometry.h"

#include <cmath>

namespace halvora::ui {

MainLayout ComputeMainLayout(const Rect& c) {
  MainLayout l;
  l.close = {c.right - 30, c.top + 2, c.right - 2, c.top + 30};
  l.name = {c.left + 17, c.top + 54, c.left + 17 + 245, c.top + 84};
  l.size = {c.right - 100, l.name.top, c.right, l.name.bottom};
  l.icon = {c.left + 17, c.top + 98, c.left + 17 + 48, c.top + 98 + 48};
  l.progress = {c.left + 80, c.top + 116, c.left + 80 + 185, c.top + 116 + 10};
  l.speed = {l.progress.right + 5, l.progress.top - 2, l.progress.right + 5 + 60,
             l.progress.top - 2 + 20};
  l.pause = {l.speed.right, l.progress.top - 10, l.speed.right + 28, l.progress.top - 10 + 28};
  l.cancel = {l.pause.right + 4, l.pause.top, l.pause.right + 4 + 28, l.pause.bottom};
  l.launch = {c.right - 112, c.bottom - 55, c.right - 25, c.bottom - 21};
  return l;
}

MessageLayout ComputeMessageLayout(const Rect& c, bool confirm) {
  MessageLayout l;
  l.close = {c.right - 40, c.top + 10, c.right - 12, c.top + 35};
  l.no = {c.right - 60, c.bottom - 32, c.right - 12, c.bottom - 11};
  l.action = l.no;
  if (confirm) {
    l.action.left -= 60;
    l.action.right -= 60;
  }
  return l;
}

std::vector<Rect> MessageLineRects(const Rect& client, int lineCount) {
  constexpr int kLineHeight = 17;
  const int n = lineCount < kMessageLinesDrawn ? lineCount : kMessageLinesDrawn;
  std::vector<Rect> rects;
  int top = 74 - 6 * n;
  for (int i = 0; i < n; ++i, top += kLineHeight) {
    rects.push_back({i == 0 ? 44 : 20, top, client.right, top + kLineHeight});
  }
  return rects;
}

std::vector<Tile> TileArea(const Rect& area, int pictureWidth, int pictureHeight) {
  std::vector<Tile> tiles;
  if (pictureWidth <= 0 || pictureHeight <= 0) return tiles;
  for (int y = area.top; y < area.bottom; y += pictureHeight) {
    for (int x = area.left; x < area.right; x += pictureWidth) {
      const int w = area.right - x < pictureWidth ? area.right - x : pictureWidth;
      const int h = area.bottom - y < pictureHeight ? area.bottom - y : pictureHeight;
      tiles.push_back({x, y, w, h});
    }
  }
  return tiles;
}

Rect PlaceTooltip(int x, int y, int width, int height, const Rect& workArea) {
  constexpr int kGap = 15;
  Rect tip{x, y + kGap, x + width, y + kGap + height};
  if (tip.right > workArea.right) {
    tip.right = workArea.right;
    tip.left = workArea.right - width;
  }
  if (tip.bottom > workArea.bottom) {
    tip.bottom = y - kGap;
    tip.top = y - kGap - height;
  }
  return tip;
}

uint32_t ProgressPosition(float fraction, uint32_t range) {
  if (std::isnan(fraction) || fraction <= 0.0f) return 0;
  if (fraction > 1.0f) return range;
  return static_cast<uint32_t>(static_cast<double>(range) * fraction);
}

int ProgressFillWidth(uint32_t position, uint32_t range, int width) {
  if (position == 0 || width <= 0) return 0;
  if (position >= range) return width;
  return static_cast<int>(uint64_t{position} * static_cast<uint64_t>(width) / range);
}

}  // namespace halvora::ui
