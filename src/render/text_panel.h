#ifndef FROTH_RENDER_TEXT_PANEL_H
#define FROTH_RENDER_TEXT_PANEL_H

#include <string>
#include <vector>

namespace Quarvel {
namespace render {

/// Sets the current drawing colour: glColor4f while colour-material is on or
/// lighting is off, otherwise the front-and-back diffuse material.
void set_color(float r, float g, float b, float a);
void set_color(double r, double g, double b, double a);
void set_color(float r, float g, float b, double a);

/// Top-left corner of a panel in window pixels, y growing downwards.
struct PanelPosition {
  int m_x;
  int m_y;
};

/// Where a w x h panel set at (x, y) lands in a W x H window under one of the
/// six anchoring rules: 0 clamps it into the window, 1 keeps (x, y), 2 puts it
/// at the right edge, 3 at the bottom, 4 at the bottom right, 5 centres it
/// (halving with integer division). An unknown anchor keeps (x, y).
PanelPosition place_panel(int anchor, int x, int y, int window_width, int window_height, int box_width, int box_height);

/// A box of text lines drawn over the scene in window pixels: a translucent
/// background with an outline and lines in the 8 x 13 bitmap font.
class TextPanel {
 public:
  static constexpr int char_width = 8;
  static constexpr int line_height = 15;
  /// Longest line that print produces; longer output is cut.
  static constexpr unsigned max_print_chars = 255;

  int m_anchor;
  int m_x;
  int m_y;
  int m_window_width;
  int m_window_height;
  int m_box_width;
  int m_box_height;
  unsigned m_max_chars;  ///< longest line added since the last clear
  float m_alpha;         ///< background opacity; 0 or less draws no background
  float m_color[3];      ///< background colour
  bool m_visible;        ///< draw nothing while false
  bool m_keep_lines;     ///< false: the lines are cleared after each draw
  std::vector<std::string> m_lines;

  /// Anchor 1 at (0, 0), alpha 0.5, colour (0.1, 0.15, 0.19), visible, lines
  /// not kept, no lines.
  TextPanel();

  void set_background(float r, float g, float b, float alpha);

  /// Appends a line; raises m_max_chars to its length if longer.
  void add_line(std::string const& line);

  /// Formats with printf rules and appends the result as one line; output
  /// beyond max_print_chars characters is cut off.
  void print(char const* format, ...) __attribute__((format(printf, 2, 3)));

  /// Empties the lines and resets m_max_chars.
  void clear();

  /// Computes the box size from the lines and places it in a window of the
  /// given size (sets m_window_*, m_box_*, m_x, m_y). No GL.
  void layout(int window_width, int window_height);

  /// Draws the panel in the current GLUT window, then clears the lines unless
  /// m_keep_lines. A hidden panel draws nothing and keeps its lines. Leaves
  /// lighting and the depth test enabled and blending disabled.
  void draw();
};

}  // namespace render
}  // namespace Quarvel

#endif
