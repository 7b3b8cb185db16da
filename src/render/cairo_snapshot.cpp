#include "render/cairo_snapshot.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>

#include "foam/foam_geometry.h"

namespace Quarvel {
namespace kordal {

namespace {

using halfedge_handle = FoamMesh::halfedge_handle;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t write_to_stream(void* closure, unsigned char const* data, unsigned int length) {
  auto* out = static_cast<std::ostream*>(closure);
  out->write(reinterpret_cast<char const*>(data), static_cast<std::streamsize>(length));
  return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// Pressure on the right of a border: its bubble's, or the foam's outside
// pressure where it has none.
double side_pressure(FoamMesh const& foam, halfedge_handle h) {
  auto const f = foam.get_halfedge(h).m_face;
  return f.is_null() ? foam.m_outside_pressure : foam.get_face(f).m_pressure;
}

// The film along border h as drawn: a straight segment, or the arc of
// radius max(2 gamma / |dp|, L / 2) that bulges into the side of lower
// pressure, from angle m_start to m_end about (m_cx, m_cy), clockwise when
// m_clockwise.
struct FilmPath {
  bool m_straight = true;
  double m_cx = 0.0, m_cy = 0.0, m_radius = 0.0, m_start = 0.0, m_end = 0.0;
  bool m_clockwise = false;
};

FilmPath film_path(FoamMesh const& foam, halfedge_handle h) {
  auto const& a = foam.get_vertex(foam.origin(h)).m_coord;
  auto const& b = foam.get_vertex(foam.destination(h)).m_coord;
  double const dp = side_pressure(foam, h) - side_pressure(foam, foam.twin(h));
  double const dx = b.x - a.x, dy = b.y - a.y;
  double const L = std::sqrt(dx * dx + dy * dy);
  double const gamma = foam.m_film_tension;
  // Straight as in the window: equal pressures, or a radius below 2^-12. And
  // a radius a thousand chords long bows the film by less than L / 8000:
  // straight at any picture size, and clear of the rounding of far centres.
  double const radius = std::abs(dp) > 0.0 ? 2.0 * gamma / std::abs(dp) : 0.0;
  FilmPath path;
  if (!(radius >= 0.000244140625) || !(L > 0.0) || !(radius < 1000.0 * L)) return path;
  double const e = 0.5 * L;
  path.m_straight = false;
  path.m_radius = std::max(radius, e);
  double const d = std::sqrt(std::max(0.0, path.m_radius * path.m_radius - e * e));
  // Left normal of a->b (y up). Higher pressure on the right (dp > 0) bulges
  // the film to the left, so its centre lies on the right, and the arc runs
  // clockwise from a to b.
  double const lx = -dy / L, ly = dx / L;
  double const mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
  path.m_clockwise = dp > 0.0;
  path.m_cx = path.m_clockwise ? mx - d * lx : mx + d * lx;
  path.m_cy = path.m_clockwise ? my - d * ly : my + d * ly;
  path.m_start = std::atan2(a.y - path.m_cy, a.x - path.m_cx);
  path.m_end = std::atan2(b.y - path.m_cy, b.x - path.m_cx);
  return path;
}

// Continues the current path along border h from its origin to its
// destination. The current point must be h's origin.
void add_film(cairo_t* cr, FoamMesh const& foam, halfedge_handle h) {
  FilmPath const f = film_path(foam, h);
  if (f.m_straight) {
    auto const& b = foam.get_vertex(foam.destination(h)).m_coord;
    cairo_line_to(cr, b.x, b.y);
  } else if (f.m_clockwise) {
    cairo_arc_negative(cr, f.m_cx, f.m_cy, f.m_radius, f.m_start, f.m_end);
  } else {
    cairo_arc(cr, f.m_cx, f.m_cy, f.m_radius, f.m_start, f.m_end);
  }
}

// Widens the box by the film's extreme points: its ends, and where its arc
// passes the four axis directions.
void include_film(SnapshotView& v, FoamMesh const& foam, halfedge_handle h) {
  FilmPath const f = film_path(foam, h);
  if (f.m_straight) return;  // the junctions frame it
  double const two_pi = 2.0 * M_PI;
  // The arc sweeps from `from` counter-clockwise through `sweep` radians.
  double const from = f.m_clockwise ? f.m_end : f.m_start;
  double sweep = (f.m_clockwise ? f.m_start : f.m_end) - from;
  sweep -= two_pi * std::floor(sweep / two_pi);
  for (int k = 0; k < 4; ++k) {
    double const axis = k * 0.5 * M_PI;
    double past = axis - from;
    past -= two_pi * std::floor(past / two_pi);
    if (past > sweep) continue;
    double const x = f.m_cx + f.m_radius * std::cos(axis), y = f.m_cy + f.m_radius * std::sin(axis);
    v.m_x0 = std::min(v.m_x0, x);
    v.m_y0 = std::min(v.m_y0, y);
    v.m_x1 = std::max(v.m_x1, x);
    v.m_y1 = std::max(v.m_y1, y);
  }
}

void draw(cairo_t* cr, FoamMesh const& foam, SnapshotStyle const& style) {
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_paint(cr);

  SnapshotView const view = style.m_view.empty() ? fit_view(foam) : style.m_view;
  double const vw = view.m_x1 - view.m_x0, vh = view.m_y1 - view.m_y0;
  double const scale = std::min(style.m_width / vw, style.m_height / vh);
  // Foam coordinates with y up, centred on the page.
  cairo_translate(cr, 0.5 * style.m_width, 0.5 * style.m_height);
  cairo_scale(cr, scale, -scale);
  cairo_translate(cr, -0.5 * (view.m_x0 + view.m_x1), -0.5 * (view.m_y0 + view.m_y1));

  if (style.m_filled) {
    double high = 0.0, low = std::numeric_limits<double>::max();
    for (auto const& f : foam.faces()) {
      if (f.m_is_outer) continue;
      high = std::max(high, f.m_pressure);
      low = std::min(low, f.m_pressure);
    }
    low *= style.m_fill_intensity;
    // Equal ends (every pressure equal and an intensity of 1) would divide by
    // zero; such a foam is drawn at full brightness.
    double const range = high - low;
    for (auto const& f : foam.faces()) {
      if (f.m_is_outer || f.m_border_halfedge.is_null()) continue;
      double const t = range > 0.0 ? (f.m_pressure - low) / range : 1.0;
      cairo_new_path(cr);
      cairo_move_to(cr, foam.get_vertex(foam.origin(f.m_border_halfedge)).m_coord.x,
                    foam.get_vertex(foam.origin(f.m_border_halfedge)).m_coord.y);
      for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) add_film(cr, foam, c.handle());
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, 0.05 * t, 0.3 * t, 1.0 * t);
      cairo_fill(cr);
    }
  }

  cairo_new_path(cr);
  for (auto const& e : foam.edges()) {
    halfedge_handle const h = e.m_halfedge0;
    auto const& a = foam.get_vertex(foam.origin(h)).m_coord;
    cairo_move_to(cr, a.x, a.y);
    add_film(cr, foam, h);
  }
  // The width is in pixels, so the stroke is set up in device space.
  cairo_identity_matrix(cr);
  cairo_set_line_width(cr, style.m_line_width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_stroke(cr);
}

}  // namespace

bool snapshot_format_from_path(std::string const& path, SnapshotFormat& format) {
  auto const dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "svg") {
    format = SnapshotFormat::svg;
  } else if (ext == "pdf") {
    format = SnapshotFormat::pdf;
  } else if (ext == "png") {
    format = SnapshotFormat::png;
  } else {
    return false;
  }
  return true;
}

SnapshotView fit_view(FoamMesh const& foam, double margin) {
  if (foam.vertex_size() == 0) return {-48.0, -27.0, 48.0, 27.0};
  double const inf = std::numeric_limits<double>::infinity();
  SnapshotView v{inf, inf, -inf, -inf};
  for (auto const& j : foam.vertices()) {
    v.m_x0 = std::min(v.m_x0, j.m_coord.x);
    v.m_y0 = std::min(v.m_y0, j.m_coord.y);
    v.m_x1 = std::max(v.m_x1, j.m_coord.x);
    v.m_y1 = std::max(v.m_y1, j.m_coord.y);
  }
  for (auto const& e : foam.edges()) include_film(v, foam, e.m_halfedge0);
  // One junction, or all on a line, still gives a rectangle to look at:
  // the pad is never zero.
  double const side = std::max({v.m_x1 - v.m_x0, v.m_y1 - v.m_y0, 1.0});
  double const pad = margin * side;
  v.m_x0 -= pad;
  v.m_y0 -= pad;
  v.m_x1 += pad;
  v.m_y1 += pad;
  return v;
}

bool write_snapshot(FoamMesh const& foam, SnapshotFormat format, SnapshotStyle const& style, std::ostream& out,
                    std::string& error) {
  if (style.m_width <= 0 || style.m_height <= 0) {
    error = "snapshot size must be positive";
    return false;
  }
  SurfacePtr surface;
  switch (format) {
    case SnapshotFormat::svg:
      surface.reset(cairo_svg_surface_create_for_stream(write_to_stream, &out, style.m_width, style.m_height));
      break;
    case SnapshotFormat::pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(write_to_stream, &out, style.m_width, style.m_height));
      break;
    case SnapshotFormat::png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, style.m_width, style.m_height));
      break;
  }
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    error =
        std::string("cannot create the picture (") + cairo_status_to_string(cairo_surface_status(surface.get())) + ")";
    return false;
  }
  {
    ContextPtr cr(cairo_create(surface.get()));
    draw(cr.get(), foam, style);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
      error = std::string("cannot draw the foam (") + cairo_status_to_string(cairo_status(cr.get())) + ")";
      return false;
    }
  }
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (format == SnapshotFormat::png) {
    status = cairo_surface_write_to_png_stream(surface.get(), write_to_stream, &out);
  } else {
    // Vector surfaces write their last bytes when finished.
    cairo_surface_finish(surface.get());
    status = cairo_surface_status(surface.get());
  }
  if (status != CAIRO_STATUS_SUCCESS || !out) {
    error = std::string("cannot write the picture (") +
            (status != CAIRO_STATUS_SUCCESS ? cairo_status_to_string(status) : "stream error") + ")";
    return false;
  }
  return true;
}

}  // namespace kordal
}  // namespace Quarvel
