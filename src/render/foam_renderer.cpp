#include "render/foam_renderer.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "foam/foam_geometry.h"

namespace Quarvel {
namespace render {

namespace {

constexpr double base_red = 0.05;
constexpr double base_green = 0.3;
constexpr double base_blue = 1.0;
constexpr double marker_radius = 0.33333;
constexpr int marker_slices = 8;
constexpr int marker_stacks = 8;

double side_pressure(FoamMesh const& foam, FoamMesh::halfedge_handle h) {
  FoamMesh::face_handle const f = foam.get_halfedge(h).m_face;
  return f.is_null() ? foam.m_outside_pressure : foam.get_face(f).m_pressure;
}

void set_bubble_color(double t) { set_color(base_red * t, base_green * t, base_blue * t, 0.0); }

}  // namespace

PressureRange pressure_range(FoamMesh const& foam, bool filled, double fill_intensity) {
  PressureRange range{std::numeric_limits<double>::max(), 0.0};
  if (filled) {
    for (auto const& bubble : foam.faces()) {
      if (bubble.m_is_outer) continue;
      range.m_max = std::max(range.m_max, bubble.m_pressure);
      range.m_min = std::min(range.m_min, bubble.m_pressure);
    }
  }
  range.m_min = fill_intensity * range.m_min;
  return range;
}

double normalised_pressure(PressureRange const& range, double pressure) {
  double const width = range.m_max - range.m_min;
  // All bubbles at the lowest pressure (possible once the fill intensity
  // reaches 1) would divide 0 by 0.
  if (width == 0.0) return 1.0;
  return (pressure - range.m_min) / width;
}

FilmShape film_shape(FoamMesh const& foam, FoamMesh::edge_type const& film) {
  FoamMesh::halfedge_handle const h = film.m_halfedge0;
  FoamMesh::halfedge_handle const t = foam.twin(h);
  double const dp = side_pressure(foam, h) - side_pressure(foam, t);
  FilmShape shape;
  shape.m_radius = std::abs(dp) > 0.0 ? std::abs(2.0 * foam.m_film_tension / dp) : 0.0;
  vector3_type const& from = foam.get_vertex(foam.origin(h)).m_coord;
  vector3_type const& to = foam.get_vertex(foam.destination(h)).m_coord;
  shape.m_a = dp > 0.0 ? from : to;
  shape.m_b = dp > 0.0 ? to : from;
  shape.m_fill_pressure = dp >= 0.0 ? side_pressure(foam, h) : side_pressure(foam, t);
  return shape;
}

FilmArcPoints film_arc_points(double R, vector3_type const& a, vector3_type const& b) {
  FilmArcPoints arc;
  vector3_type const m = 0.5 * (a + b);
  arc.m_midpoint = m;
  double const e = math::length(m - a);
  double const r = std::max(R, e);
  // e / r is at most 1 but may exceed it by a rounding error when r = e.
  double const alpha = r > 0.0 ? std::asin(std::min(1.0, e / r)) : 0.0;
  double const d = r * std::cos(alpha);
  vector3_type const n = math::unit(b - a);
  vector3_type const p(n.y, -n.x, 0.0);
  vector3_type const c = m + d * p;
  double const delta = 2.0 * alpha / arc_segments;
  vector3_type const cb = b - c;
  arc.m_points[0] = b;
  for (int i = 1; i <= arc_segments; ++i) {
    double const s = std::sin(i * delta), co = std::cos(i * delta);
    arc.m_points[i] = vector3_type(c.x + co * cb.x - s * cb.y, c.y + s * cb.x + co * cb.y, 0.0);
  }
  return arc;
}

void draw_film(double R, vector3_type const& a, vector3_type const& b, FilmMode mode) {
  bool const straight = R < straight_film_radius;
  if (mode == FilmMode::fill || straight) {
    glBegin(GL_LINES);
    glVertex3d(a.x, a.y, 0.0);
    glVertex3d(b.x, b.y, 0.0);
    glEnd();
    if (straight) return;
  }
  FilmArcPoints const arc = film_arc_points(R, a, b);
  if (mode == FilmMode::fill) {
    glBegin(GL_TRIANGLES);
    for (int i = 1; i <= arc_segments; ++i) {
      glVertex3d(arc.m_midpoint.x, arc.m_midpoint.y, 0.0);
      glVertex3d(arc.m_points[i - 1].x, arc.m_points[i - 1].y, 0.0);
      glVertex3d(arc.m_points[i].x, arc.m_points[i].y, 0.0);
    }
    glEnd();
  } else {
    glBegin(GL_LINES);
    for (int i = 1; i <= arc_segments; ++i) {
      glVertex3d(arc.m_points[i - 1].x, arc.m_points[i - 1].y, 0.0);
      glVertex3d(arc.m_points[i].x, arc.m_points[i].y, 0.0);
    }
    glEnd();
  }
}

void draw_films(FoamMesh const& foam, bool filled, PressureRange const& range) {
  for (auto const& film : foam.edges()) {
    FilmShape const shape = film_shape(foam, film);
    set_color(0.0, 0.0, 0.0, 0.0);
    draw_film(shape.m_radius, shape.m_a, shape.m_b, FilmMode::lines);
    if (filled) {
      set_bubble_color(normalised_pressure(range, shape.m_fill_pressure));
      draw_film(shape.m_radius, shape.m_a, shape.m_b, FilmMode::fill);
    }
  }
}

void draw_bubbles(FoamMesh const& foam, PressureRange const& range) {
  for (auto const& bubble : foam.faces()) {
    if (bubble.m_is_outer) continue;
    set_bubble_color(normalised_pressure(range, bubble.m_pressure));
    glBegin(GL_POLYGON);
    for (FoamMesh::const_face_halfedge_circulator c(foam, bubble.m_self); c; ++c) {
      vector3_type const& p = foam.get_vertex(foam.origin(c.handle())).m_coord;
      glVertex3d(p.x, p.y, 0.0);
    }
    glEnd();
  }
}

void draw_marker(vector3_type const& at) {
  GLUquadric* quadric = gluNewQuadric();
  if (quadric == nullptr) return;
  glPushMatrix();
  glTranslated(at.x, at.y, at.z);
  gluSphere(quadric, marker_radius, marker_slices, marker_stacks);
  glPopMatrix();
  gluDeleteQuadric(quadric);
}

vector3_type bubble_centroid(FoamMesh const& foam, FoamMesh::face_handle bubble) {
  vector3_type sum;
  unsigned n = 0;
  for (FoamMesh::const_face_halfedge_circulator c(foam, bubble); c; ++c) {
    sum += foam.get_vertex(foam.origin(c.handle())).m_coord;
    ++n;
  }
  return n > 0 ? sum / static_cast<double>(n) : sum;
}

void add_statistics_lines(TextPanel& panel, foam_statistics_type const& s) {
  double const t = s.m_step_time;
  panel.add_line("***[ Foam Statistics ]***");
  panel.print("timer: %gms", t > 0.0 ? t * 1000.0 : 0.0);
  panel.print("fps: %g", t > 0.0 ? 1.0 / t : 0.0);
  panel.print("number of cells: %i", static_cast<int>(s.m_cell_count));
  panel.print("number of vertices: %i", static_cast<int>(s.m_vertex_count));
  panel.print("number of T1: %i", static_cast<int>(s.m_t1_total));
  panel.print("number of T2: %i", static_cast<int>(s.m_t2_total));
  panel.print("mean edges: %g", s.m_mean_edges);
  panel.print("second moment: %g", s.m_second_moment);
  panel.print("mean area: %g", s.m_mean_area);
  panel.print("m.area err: %g", s.m_area_error);
  panel.print("area equil(%%): %g", (1.0 - s.m_area_error / s.m_mean_target_area) * 100.0);
  panel.print("mean angle: %g", s.m_mean_angle);
  panel.print("m.ang err: %g", s.m_angle_error);
  panel.print("ang equil(%%): %g", (1.0 - s.m_angle_error / s.m_reference_angle) * 100.0);
  panel.add_line("distribution p(n):");
  for (std::size_t n = 2; n < s.m_distribution.size(); ++n) {
    add_distribution_line(panel, static_cast<int>(n), s.m_distribution[n]);
  }
}

void add_distribution_line(TextPanel& panel, int n, double p) {
  static char const stars[] = "**********";
  static char const blanks[] = "          ";
  // Truncation toward zero; a negative or NaN p shows an empty bar.
  double const scaled = 20.0 * p;
  int const count = scaled >= 0.0 ? static_cast<int>(std::min(scaled, 10.0)) : 0;
  panel.print("%s%i|%s%s (%g)", n < 10 ? "0" : "", n, stars + (10 - count), blanks + count, p);
}

bool topology_broken(foam_statistics_type const& s) {
  return s.m_cell_count != 0 && s.m_vertex_count != 2 * s.m_cell_count - 2;
}

void add_topology_warning_lines(TextPanel& panel) {
  panel.add_line("*****************************************");
  panel.add_line("***  TOPOLOGICAL INSTABILTY DETECTED  ***");
  panel.add_line("*****************************************");
}

void add_junction_info(TextPanel& panel, FoamMesh const& foam, FoamMesh::vertex_handle junction) {
  static double const reference_angle = 2.0 * M_PI / 3.0;
  auto const& v = foam.get_vertex(junction);
  bool const on_border = kordal::is_boundary(v);
  unsigned const wanted = on_border ? 2 : 3;

  // The bubbles of the outgoing borders in circulator order; borders without a
  // bubble are passed over wherever they stand in the fan.
  FoamMesh::face_handle bubbles[3];
  unsigned found = 0;
  for (FoamMesh::const_vertex_halfedge_circulator c(foam, junction); c && found < wanted; ++c) {
    if (!c->m_face.is_null()) bubbles[found++] = c->m_face;
  }

  double k = 0.0, area_error = 0.0, angle_error = 0.0;
  for (unsigned i = 0; i < found; ++i) {
    auto const& f = foam.get_face(bubbles[i]);
    if (f.m_is_outer) continue;
    double const area = kordal::compute_area(f);
    double const angle = kordal::junction_angle(f, v);
    k += 1.0;
    area_error += std::abs(f.m_target_area - area) / f.m_target_area;
    angle_error += std::abs(reference_angle - angle) / reference_angle;
  }
  area_error /= k;
  angle_error /= k;

  panel.set_background(0.05f, 0.3f, 0.3f, 0.5f);
  panel.add_line("*** Junction ***");
  panel.print("A%%: %g", (1.0 - area_error) * 100.0);
  panel.print("phi%%: %g", (1.0 - angle_error) * 100.0);
}

void add_bubble_info(TextPanel& panel, FoamMesh const& foam, FoamMesh::face_handle bubble) {
  auto const& f = foam.get_face(bubble);
  double const area = kordal::compute_area(f);
  double const target = f.m_target_area;
  panel.set_background(0.4f, 0.05f, 0.05f, 0.5f);
  panel.add_line("*** Bubble ***");
  panel.print("films: %i", static_cast<int>(kordal::film_count(f)));
  panel.print("pressure: %g", f.m_pressure);
  panel.print("area: %g", area);
  panel.print("target: %g", target);
  panel.print("A%%: %g", (1.0 - std::abs(target - area) / target) * 100.0);
}

}  // namespace render
}  // namespace Quarvel
