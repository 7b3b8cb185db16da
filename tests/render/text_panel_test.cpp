#include "render/text_panel.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Quarvel::render::place_panel;
using Quarvel::render::TextPanel;

TEST(PlacePanel, EachAnchorRule) {
  struct Case {
    int anchor, x, y, window_width, window_height, box_width, box_height;
    int expected_x, expected_y;
    char const* what;
  };
  for (Case const& c : {
           Case{0, 4, 4, 960, 540, 100, 50, 4, 4, "clamped: inside, unchanged"},
           Case{0, 900, 520, 960, 540, 100, 50, 860, 490, "clamped: pushed back from right and bottom"},
           Case{0, -7, -3, 960, 540, 100, 50, 0, 0, "clamped: pushed to 0 from left and top"},
           Case{0, 10, 10, 80, 540, 100, 50, -20, 10, "clamped: wider than the window, the right edge wins"},
           Case{1, -7, 900, 960, 540, 100, 50, -7, 900, "kept"},
           Case{2, 4, 4, 960, 540, 100, 50, 860, 4, "right edge"},
           Case{3, 4, 4, 960, 540, 100, 50, 4, 490, "bottom edge"},
           Case{4, 4, 4, 960, 540, 100, 50, 860, 490, "bottom right"},
           // Each halving rounds toward zero: 961 / 2 = 480, 101 / 2 = 50, 541 / 2 = 270, 51 / 2 = 25.
           Case{5, 123, 456, 961, 541, 101, 51, 430, 245, "centred"},
           Case{5, 0, 0, 10, 10, 31, 31, -10, -10, "centred, larger than the window: still truncated toward zero"},
       }) {
    auto const p = place_panel(c.anchor, c.x, c.y, c.window_width, c.window_height, c.box_width, c.box_height);
    EXPECT_EQ(std::make_pair(c.expected_x, c.expected_y), std::make_pair(p.m_x, p.m_y)) << c.what;
  }
}

// Lines longer than 255 characters are cut.
TEST(TextPanel, LinesTrackTheLongestPrintFormatsAndCutsAndClearResets) {
  TextPanel panel;
  panel.add_line("abc");
  panel.print("number of cells: %i", 42);
  panel.print("A%%: %g", 99.5);
  panel.print("timer: %gms", 0.0);
  EXPECT_EQ(panel.m_lines, (std::vector<std::string>{"abc", "number of cells: 42", "A%: 99.5", "timer: 0ms"}));
  EXPECT_EQ(panel.m_max_chars, 19u);
  panel.clear();
  EXPECT_TRUE(panel.m_lines.empty());
  EXPECT_EQ(panel.m_max_chars, 0u);
  panel.print("%s|%s", std::string(1000, 'x').c_str(), "tail");
  panel.print("%s", std::string(255, 'y').c_str());
  EXPECT_EQ(panel.m_lines, (std::vector<std::string>{std::string(255, 'x'), std::string(255, 'y')}));
  EXPECT_EQ(panel.m_max_chars, 255u);
}

// 8 pixels a character and 15 a line, with margins of 4 and 6; layout leaves
// the lines for the draw.
TEST(TextPanel, LayoutSizesTheBoxFromItsLinesWithMarginsAndPlacesIt) {
  TextPanel panel;
  panel.add_line("0123456789");
  panel.add_line("x");
  panel.m_anchor = 4;
  panel.layout(960, 540);
  EXPECT_EQ(std::make_tuple(960, 540, 84, 36, 960 - 84, 540 - 36),
            std::tie(panel.m_window_width, panel.m_window_height, panel.m_box_width, panel.m_box_height, panel.m_x,
                     panel.m_y));
  EXPECT_EQ(panel.m_lines.size(), 2u);
  TextPanel empty;
  empty.m_anchor = 5;
  empty.layout(100, 100);
  EXPECT_EQ(std::make_tuple(4, 6, 48, 47), std::tie(empty.m_box_width, empty.m_box_height, empty.m_x, empty.m_y));
}

}  // namespace
