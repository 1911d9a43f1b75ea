#include "ui/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>


namespace halvora::ui {

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
std::ostream& operator<<(std::ostream& os, const Tile& t) {
  return os << "tile(" << t.x << "," << t.y << " " << t.width << "x" << t.height << ")";
}

namespace {

TEST(MainLayout, FollowsTheClientRectangle) {
  const Rect standard{0, 0, kMainWidth, kMainHeight};
  const Rect moved{10, 20, 510, 320};  // larger, not at the origin
  const MainLayout a = ComputeMainLayout(standard);
  const MainLayout b = ComputeMainLayout(moved);
  const struct {
    const char* what;
    Rect got;
    Rect want;
  } cases[] = {
      {"close", a.close, {366, 2, 394, 30}},
      {"name", a.name, {17, 54, 262, 84}},
      {"size", a.size, {296, 54, 396, 84}},
      {"icon", a.icon, {17, 98, 65, 146}},
      {"progress", a.progress, {80, 116, 265, 126}},
      {"speed", a.speed, {270, 114, 330, 134}},
      {"pause", a.pause, {330, 106, 358, 134}},
      {"cancel", a.cancel, {362, 106, 390, 134}},
      {"launch", a.launch, {284, 179, 371, 213}},
      // Right- and bottom-anchored elements follow those edges; the rest the
      // top-left corner.
      {"moved close", b.close, {480, 22, 508, 50}},
      {"moved size", b.size, {410, 74, 510, 104}},
      {"moved progress", b.progress, {90, 136, 275, 146}},
      {"moved pause", b.pause, {340, 126, 368, 154}},
      {"moved launch", b.launch, {398, 265, 485, 299}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(MessageLayout, ButtonsPerForm) {
  const Rect client{0, 0, kMessageWidth, kMessageHeight};
  const MessageLayout confirm = ComputeMessageLayout(client, true);
  const MessageLayout notice = ComputeMessageLayout(client, false);
  EXPECT_EQ(confirm.close, (Rect{222, 10, 250, 35}));
  EXPECT_EQ(confirm.no, (Rect{202, 128, 250, 149}));
  EXPECT_EQ(confirm.action, (Rect{142, 128, 190, 149}));
  EXPECT_EQ(notice.close, (Rect{222, 10, 250, 35}));
  EXPECT_EQ(notice.action, (Rect{202, 128, 250, 149}));
}

TEST(MessageLayout, LinesMoveUpWithTheirCountAndAtMostFourAreDrawn) {
  const Rect client{0, 0, kMessageWidth, kMessageHeight};
  const struct {
    int lines;
    std::vector<Rect> want;
  } cases[] = {
      {0, {}},
      {1, {{44, 68, 262, 85}}},
      {2, {{44, 62, 262, 79}, {20, 79, 262, 96}}},
      {6, {{44, 50, 262, 67}, {20, 67, 262, 84}, {20, 84, 262, 101}, {20, 101, 262, 118}}},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageLineRects(client, c.lines), c.want) << c.lines;
}

TEST(Tiling, CopiesAreClippedAtTheRightAndBottomEdges) {
  const struct {
    const char* what;
    Rect area;
    int pw, ph;
    std::vector<Tile> want;
  } cases[] = {
      // The 185x10 bar under its 185x9 track: the tenth row repeats row one.
      {"track", {0, 0, 185, 10}, 185, 9, {{0, 0, 185, 9}, {0, 9, 185, 1}}},
      {"fill 92", {0, 0, 92, 10}, 185, 9, {{0, 0, 92, 9}, {0, 9, 92, 1}}},
      {"fill 0", {0, 0, 0, 10}, 185, 9, {}},
      {"background", {0, 0, 396, 234}, 396, 234, {{0, 0, 396, 234}}},
      {"wide client",
       {0, 0, 800, 234},
       396,
       234,
       {{0, 0, 396, 234}, {396, 0, 396, 234}, {792, 0, 8, 234}}},
      {"offset area",
       {5, 3, 12, 7},
       4,
       3,
       {{5, 3, 4, 3}, {9, 3, 3, 3}, {5, 6, 4, 1}, {9, 6, 3, 1}}},
      {"no picture", {0, 0, 10, 10}, 0, 9, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(TileArea(c.area, c.pw, c.ph), c.want) << c.what;
}

TEST(Tooltip, StaysInsideTheWorkArea) {
  const Rect screen{0, 0, 1024, 768};
  const Rect leftBar{100, 0, 1124, 768};  // task bar on the left: the area starts at x 100
  const struct {
    const char* what;
    int x, y;
    Rect work;
    Rect want;
  } cases[] = {
      {"below the pointer", 500, 300, screen, {500, 315, 700, 335}},
      {"shifted left at the right edge", 900, 300, screen, {824, 315, 1024, 335}},
      {"right edge met exactly", 824, 300, screen, {824, 315, 1024, 335}},
      {"above at the bottom edge", 500, 740, screen, {500, 705, 700, 725}},
      {"bottom edge met exactly", 500, 733, screen, {500, 748, 700, 768}},
      {"corner: left and above", 1000, 760, screen, {824, 725, 1024, 745}},
      {"work area not at the origin", 1050, 300, leftBar, {924, 315, 1124, 335}},
  };
  for (const auto& c : cases) EXPECT_EQ(PlaceTooltip(c.x, c.y, 200, 20, c.work), c.want) << c.what;
}

TEST(Progress, PositionAndFillWidth) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float fraction;
    uint32_t position;
    int fill;  // of a 185-pixel bar
  } cases[] = {
      {0.5f, 250, 92},  // 250 * 185 / 500 = 92.5
      {1.0f, 500, 185}, {1.2f, 500, 185},   {0.0f, 0, 0},
      {-0.3f, 0, 0},    {nan, 0, 0},  // 0 / 0 bytes
      {0.002f, 1, 0},   {0.999f, 499, 184},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressPosition(c.fraction, 500), c.position) << c.fraction;
    EXPECT_EQ(ProgressFillWidth(c.position, 500, 185), c.fill) << c.fraction;
  }
  EXPECT_EQ(ProgressFillWidth(7, 0, 185), 185);                      // no range: full once started
  EXPECT_EQ(ProgressFillWidth(4000000000u, 4294967295u, 185), 172);  // no overflow
}

}  // namespace
}  // namespace halvora::ui
