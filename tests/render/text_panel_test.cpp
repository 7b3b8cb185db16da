#include "render/text_panel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Quarvel::render::PanelPosition;
using Quarvel::render::place_panel;
using Quarvel::render::TextPanel;

void expect_position(PanelPosition p, int x, int y) {
  EXPECT_EQ(p.m_x, x);
  EXPECT_EQ(p.m_y, y);
}

TEST(PlacePanel, AnchorZeroClampsIntoTheWindow) {
  // Inside: unchanged.
  expect_position(place_panel(0, 4, 4, 960, 540, 100, 50), 4, 4);
  // Sticking out right and bottom: pushed back to the edge.
  expect_position(place_panel(0, 900, 520, 960, 540, 100, 50), 860, 490);
  // Sticking out left and top: pushed to 0.
  expect_position(place_panel(0, -7, -3, 960, 540, 100, 50), 0, 0);
  // Wider than the window: the right edge wins, which leaves x negative.
  expect_position(place_panel(0, 10, 10, 80, 540, 100, 50), -20, 10);
}

TEST(PlacePanel, AnchorOneKeepsThePosition) { expect_position(place_panel(1, -7, 900, 960, 540, 100, 50), -7, 900); }

TEST(PlacePanel, AnchorsTwoToFourUseTheRightAndBottomEdges) {
  expect_position(place_panel(2, 4, 4, 960, 540, 100, 50), 860, 4);
  expect_position(place_panel(3, 4, 4, 960, 540, 100, 50), 4, 490);
  expect_position(place_panel(4, 4, 4, 960, 540, 100, 50), 860, 490);
}

TEST(PlacePanel, AnchorFiveCentresWithIntegerHalving) {
  // Each halving rounds toward zero: 961 / 2 = 480, 101 / 2 = 50, 541 / 2 = 270, 51 / 2 = 25.
  expect_position(place_panel(5, 123, 456, 961, 541, 101, 51), 430, 245);
  expect_position(place_panel(5, 0, 0, 960, 540, 100, 50), 430, 245);
  // Larger than the window: negative, still truncated toward zero.
  expect_position(place_panel(5, 0, 0, 10, 10, 31, 31), -10, -10);
}

TEST(TextPanel, StartsAsTheApplicationsOverlay) {
  TextPanel panel;
  EXPECT_EQ(panel.m_anchor, 1);
  EXPECT_EQ(panel.m_x, 0);
  EXPECT_EQ(panel.m_y, 0);
  EXPECT_EQ(panel.m_max_chars, 0u);
  EXPECT_FLOAT_EQ(panel.m_alpha, 0.5f);
  EXPECT_FLOAT_EQ(panel.m_color[0], 0.1f);
  EXPECT_FLOAT_EQ(panel.m_color[1], 0.15f);
  EXPECT_FLOAT_EQ(panel.m_color[2], 0.19f);
  EXPECT_TRUE(panel.m_visible);
  EXPECT_FALSE(panel.m_keep_lines);
  EXPECT_TRUE(panel.m_lines.empty());
}

TEST(TextPanel, LinesTrackTheLongestAndClearResets) {
  TextPanel panel;
  panel.add_line("abc");
  panel.add_line("abcdefg");
  panel.add_line("ab");
  EXPECT_EQ(panel.m_max_chars, 7u);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_EQ(panel.m_lines[1], "abcdefg");
  panel.clear();
  EXPECT_TRUE(panel.m_lines.empty());
  EXPECT_EQ(panel.m_max_chars, 0u);
}

TEST(TextPanel, PrintFormatsWithPrintfRules) {
  TextPanel panel;
  panel.print("number of cells: %i", 42);
  panel.print("A%%: %g", 99.5);
  panel.print("timer: %gms", 0.0);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_EQ(panel.m_lines[0], "number of cells: 42");
  EXPECT_EQ(panel.m_lines[1], "A%: 99.5");
  EXPECT_EQ(panel.m_lines[2], "timer: 0ms");
  EXPECT_EQ(panel.m_max_chars, 19u);
}

TEST(TextPanel, PrintCutsLongOutputAt255Characters) {
  TextPanel panel;
  std::string const long_text(1000, 'x');
  panel.print("%s|%s", long_text.c_str(), "tail");
  ASSERT_EQ(panel.m_lines.size(), 1u);
  EXPECT_EQ(panel.m_lines[0], std::string(255, 'x'));
  EXPECT_EQ(panel.m_max_chars, 255u);
  panel.print("%s", std::string(255, 'y').c_str());
  EXPECT_EQ(panel.m_lines[1].size(), 255u);
}

TEST(TextPanel, LayoutSizesTheBoxFromItsLinesAndPlacesIt) {
  TextPanel panel;
  panel.add_line("0123456789");
  panel.add_line("x");
  panel.m_anchor = 4;
  panel.layout(960, 540);
  EXPECT_EQ(panel.m_window_width, 960);
  EXPECT_EQ(panel.m_window_height, 540);
  EXPECT_EQ(panel.m_box_width, 8 * 10 + 4);
  EXPECT_EQ(panel.m_box_height, 15 * 2 + 6);
  EXPECT_EQ(panel.m_x, 960 - 84);
  EXPECT_EQ(panel.m_y, 540 - 36);
  // Layout leaves the lines for the draw.
  EXPECT_EQ(panel.m_lines.size(), 2u);
}

TEST(TextPanel, EmptyPanelStillHasItsMargins) {
  TextPanel panel;
  panel.m_anchor = 5;
  panel.layout(100, 100);
  EXPECT_EQ(panel.m_box_width, 4);
  EXPECT_EQ(panel.m_box_height, 6);
  EXPECT_EQ(panel.m_x, 48);
  EXPECT_EQ(panel.m_y, 47);
}

}  // namespace
