#include "render/text_panel.h"

// clang-format off
#include <GL/glew.h>  // before any other GL header
#include <GL/freeglut.h>
// clang-format on

#include <cstdarg>
#include <cstdio>

namespace Quarvel {
namespace render {

void set_color(float r, float g, float b, float a) {
  if (glIsEnabled(GL_COLOR_MATERIAL) || !glIsEnabled(GL_LIGHTING)) {
    glColor4f(r, g, b, a);
  } else {
    GLfloat const color[4] = {r, g, b, a};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, color);
  }
}

void set_color(double r, double g, double b, double a) {
  set_color(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b), static_cast<float>(a));
}

void set_color(float r, float g, float b, double a) { set_color(r, g, b, static_cast<float>(a)); }

PanelPosition place_panel(int anchor, int x, int y, int window_width, int window_height, int box_width,
                          int box_height) {
  switch (anchor) {
    case 0:
      if (x > window_width - box_width) {
        x = window_width - box_width;
      } else if (x < 0) {
        x = 0;
      }
      if (y > window_height - box_height) {
        y = window_height - box_height;
      } else if (y < 0) {
        y = 0;
      }
      break;
    case 2:
      x = window_width - box_width;
      break;
    case 3:
      y = window_height - box_height;
      break;
    case 4:
      x = window_width - box_width;
      y = window_height - box_height;
      break;
    case 5:
      x = window_width / 2 - box_width / 2;
      y = window_height / 2 - box_height / 2;
      break;
    default:
      break;
  }
  return {x, y};
}

TextPanel::TextPanel()
    : m_anchor(1),
      m_x(0),
      m_y(0),
      m_window_width(0),
      m_window_height(0),
      m_box_width(0),
      m_box_height(0),
      m_max_chars(0),
      m_alpha(0.5f),
      m_color{0.1f, 0.15f, 0.19f},
      m_visible(true),
      m_keep_lines(false) {}

void TextPanel::set_background(float r, float g, float b, float alpha) {
  m_color[0] = r;
  m_color[1] = g;
  m_color[2] = b;
  m_alpha = alpha;
}

void TextPanel::add_line(std::string const& line) {
  m_lines.push_back(line);
  if (line.size() > m_max_chars) m_max_chars = static_cast<unsigned>(line.size());
}

void TextPanel::print(char const* format, ...) {
  char buffer[max_print_chars + 1];
  va_list args;
  va_start(args, format);
  // vsnprintf stops at the buffer's end and always terminates the text.
  int const written = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (written < 0) buffer[0] = '\0';
  add_line(buffer);
}

void TextPanel::clear() {
  m_lines.clear();
  m_max_chars = 0;
}

void TextPanel::layout(int window_width, int window_height) {
  m_window_width = window_width;
  m_window_height = window_height;
  m_box_width = char_width * static_cast<int>(m_max_chars) + 4;
  m_box_height = line_height * static_cast<int>(m_lines.size()) + 6;
  PanelPosition const p = place_panel(m_anchor, m_x, m_y, m_window_width, m_window_height, m_box_width, m_box_height);
  m_x = p.m_x;
  m_y = p.m_y;
}

void TextPanel::draw() {
  if (!m_visible) return;
  layout(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));

  if (m_alpha > 0.0f && m_alpha < 1.0f) {
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
  }
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, m_window_width, m_window_height, 0, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  int const x0 = m_x, y0 = m_y, x1 = m_x + m_box_width, y1 = m_y + m_box_height;
  if (m_alpha > 0.0f) {
    set_color(m_color[0], m_color[1], m_color[2], m_alpha);
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, -2.1f);
    glVertex3f(x1, y0, -2.1f);
    glVertex3f(x1, y1, -2.1f);
    glVertex3f(x0, y1, -2.1f);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    set_color(0.9f, 0.9f, 0.9f, 1.0f);
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, -2.0f);
    glVertex3f(x1, y0, -2.0f);
    glVertex3f(x1, y1, -2.0f);
    glVertex3f(x0, y1, -2.0f);
    glEnd();
  }

  set_color(0.9f, 0.9f, 0.9f, 1.0f);
  int k = 1;
  for (std::string const& line : m_lines) {
    glRasterPos3i(x0 + 3, y0 + line_height * k, 1);
    for (char c : line) glutBitmapCharacter(GLUT_BITMAP_8_BY_13, static_cast<unsigned char>(c));
    ++k;
  }

  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();

  if (!m_keep_lines) clear();
}

}  // namespace render
}  // namespace Quarvel
