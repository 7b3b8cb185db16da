#ifndef FROTH_FOAM_FOAM_GEOMETRY_H
#define FROTH_FOAM_FOAM_GEOMETRY_H

#include <algorithm>
#include <cmath>
#include <limits>

#include "polymesh/handles.h"

namespace Quarvel {
namespace kordal {

/// Geometry of one curved film seen from one of its bubbles.
template <typename Real>
struct FilmArc {
  Real m_segment_area = 0;  ///< area between chord and arc, signed: + when the own bubble bulges out
  Real m_deviation = 0;     ///< angle between chord and arc at either end, same sign
};

/// A film with chord P-Q between a bubble at p_own and one at p_other is a
/// circular arc of radius max(2 gamma / |dp|, L / 2): two surfaces of tension
/// gamma, never less than a half circle. Equal pressures give a straight film.
/// The arc of such a film: its side s (+1 when the own bubble bulges out, 0
/// for a straight film), radius R and the angle theta it subtends.
template <typename Real>
struct ArcShape {
  Real m_side = 0;
  Real m_radius = 0;
  Real m_theta = 0;
};

template <typename Vector, typename Real>
ArcShape<Real> arc_shape(Vector const& P, Vector const& Q, Real p_own, Real p_other, Real gamma) {
  Real const dp = p_own - p_other;
  if (!(std::abs(dp) > Real(0))) return {};
  Real const dx = Q.x - P.x, dy = Q.y - P.y, dz = Q.z - P.z;
  Real const L = std::sqrt(dx * dx + dy * dy + dz * dz);
  Real const s = dp > Real(0) ? Real(1) : Real(-1);
  Real const R = std::max(Real(2) * gamma / std::abs(dp), L / Real(2));
  // L/2R can exceed 1 by a rounding error when R = L/2.
  Real const ratio = R > Real(0) ? std::min(Real(1), (L / Real(2)) / R) : Real(0);
  return {s, R, Real(2) * std::asin(ratio)};
}

template <typename Vector, typename Real>
FilmArc<Real> film_arc(Vector const& P, Vector const& Q, Real p_own, Real p_other, Real gamma) {
  ArcShape<Real> const a = arc_shape(P, Q, p_own, p_other, gamma);
  if (a.m_side == Real(0)) return {};
  return {a.m_side * a.m_radius * a.m_radius * (a.m_theta - std::sin(a.m_theta)) / Real(2),
          a.m_side * a.m_theta / Real(2)};
}

/// film_arc's end deviation alone (the same bits), without its segment area.
template <typename Vector, typename Real>
Real film_deviation(Vector const& P, Vector const& Q, Real p_own, Real p_other, Real gamma) {
  ArcShape<Real> const a = arc_shape(P, Q, p_own, p_other, gamma);
  return a.m_side * a.m_theta / Real(2);
}

/// Signed area of the triangle (r, w, E) as the bubbles' fans add it:
/// positive when w, E run clockwise about r. The corners are taken relative
/// to r first, so that far from the origin no digits are lost to products of
/// large coordinates.
template <typename Vector>
double fan_triangle(Vector const& r, Vector const& w, Vector const& E) {
  double const ax = w.x - r.x, ay = w.y - r.y, bx = E.x - r.x, by = E.y - r.y;
  return 0.5 * (ay * bx - ax * by);
}

/// The straight-chord part of a bubble's angle at corner r between its
/// neighbours g (before) and t (after): from g - r to t - r, measured the
/// clockwise way round. The angle comes from atan2 of the cross and dot
/// products: an arccosine loses half the digits where the chords are nearly
/// in line, as they are at the outer bubble's corners.
template <typename Vector>
double chord_opening(Vector const& r, Vector const& g, Vector const& t) {
  auto const u = g - r;
  auto const w = t - r;
  double const c = u.x * w.y - u.y * w.x;
  double const a = std::atan2(std::abs(c), dot(u, w));
  return c <= 0.0 ? 2.0 * M_PI - a : a;
}

/// How far a film is bent towards its limit: |dp| L / (4 gamma), 1 or more
/// when film_arc makes it a half circle. Past that its area and angles no
/// longer answer to the pressures. Infinite without tension unless dp is 0.
template <typename Vector, typename Real>
Real film_bend(Vector const& P, Vector const& Q, Real p_own, Real p_other, Real gamma) {
  Real const dp = std::abs(p_own - p_other);
  if (!(dp > Real(0))) return Real(0);
  Real const dx = Q.x - P.x, dy = Q.y - P.y, dz = Q.z - P.z;
  Real const L = std::sqrt(dx * dx + dy * dy + dz * dz);
  return gamma > Real(0) ? dp * L / (Real(4) * gamma) : std::numeric_limits<Real>::infinity();
}

/// Number of films meeting at a junction (0 for an isolated one).
template <typename Vertex>
unsigned valency(Vertex const& v) {
  unsigned n = 0;
  typename std::remove_pointer_t<decltype(v.m_owner)>::const_vertex_halfedge_circulator c(*v.m_owner, v.m_self);
  for (; c; ++c) ++n;
  return n;
}

/// True when a junction has an outgoing border without a bubble, or no
/// border at all.
template <typename Vertex>
bool is_boundary(Vertex const& v) {
  if (v.m_outgoing_halfedge.is_null()) return true;
  typename std::remove_pointer_t<decltype(v.m_owner)>::const_vertex_halfedge_circulator c(*v.m_owner, v.m_self);
  for (; c; ++c) {
    if (c->m_face.is_null()) return true;
  }
  return false;
}

/// Number of films (borders) in a bubble's loop.
template <typename Face>
unsigned film_count(Face const& f) {
  unsigned n = 0;
  typename std::remove_pointer_t<decltype(f.m_owner)>::const_face_halfedge_circulator c(*f.m_owner, f.m_self);
  for (; c; ++c) ++n;
  return n;
}

/// The first bubble in list order that is marked outer, or the null handle.
template <typename Mesh>
polymesh::face_handle find_outer_bubble(Mesh const& mesh) {
  for (auto const& f : mesh.faces()) {
    if (f.m_is_outer) return f.m_self;
  }
  return polymesh::face_handle();
}

/// Area of a bubble with curved films: the polygon as a fan from the origin of
/// its border half-edge plus the films' segments. Positive for a clockwise
/// loop; 0 for the outer bubble. A film on the open boundary counts straight.
template <typename Face>
double compute_area(Face const& f) {
  if (f.m_is_outer) return 0.0;
  auto const& mesh = *f.m_owner;
  if (f.m_border_halfedge.is_null()) return 0.0;
  auto const q = mesh.get_vertex(mesh.origin(f.m_border_halfedge)).m_coord;
  double const p_own = f.m_pressure;
  double area = 0.0;
  typename std::remove_pointer_t<decltype(f.m_owner)>::const_face_halfedge_circulator c(mesh, f.m_self);
  for (; c; ++c) {
    auto const& w = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    auto const& E = mesh.get_vertex(c->m_destination).m_coord;
    area += fan_triangle(q, w, E);
    auto const other = mesh.get_halfedge(c->m_twin).m_face;
    double const p_other = other.is_null() ? p_own : mesh.get_face(other).m_pressure;
    area += film_arc(w, E, p_own, p_other, mesh.m_film_tension).m_segment_area;
  }
  return area;
}

/// The area of a bubble whose loop would be the given corners, each with the
/// pressure across the film that leaves it, its films curved by the pressures.
template <typename Mesh, typename Corners>
double curved_loop_area(Mesh const& mesh, typename Mesh::face_type const& bubble, Corners const& corners) {
  double area = 0.0;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    auto const& P = corners[i].first;
    auto const& Q = corners[(i + 1) % corners.size()].first;
    area += 0.5 * (Q.x * P.y - P.x * Q.y);
    area += film_arc(P, Q, bubble.m_pressure, corners[i].second, mesh.m_film_tension).m_segment_area;
  }
  return area;
}

/// The pressure on the other side of a bubble's border; a border without a
/// bubble there counts as the bubble's own pressure (a straight film).
template <typename Mesh>
double pressure_across_border(Mesh const& mesh, polymesh::halfedge_handle border) {
  polymesh::face_handle const across = mesh.get_halfedge(mesh.get_halfedge(border).m_twin).m_face;
  return across.is_null() ? mesh.get_face(mesh.get_halfedge(border).m_face).m_pressure
                          : mesh.get_face(across).m_pressure;
}

/// Interior angle (radians) of bubble f at junction v, curved films included;
/// -1 when v is not a corner of f.
template <typename Face, typename Vertex>
double junction_angle(Face const& f, Vertex const& v) {
  auto const& mesh = *f.m_owner;
  polymesh::halfedge_handle in, out;
  typename std::remove_pointer_t<decltype(f.m_owner)>::const_face_halfedge_circulator c(mesh, f.m_self);
  for (; c; ++c) {
    if (c->m_destination == v.m_self) in = c.handle();
    if (mesh.origin(c.handle()) == v.m_self) out = c.handle();
  }
  if (in.is_null() || out.is_null()) return -1.0;
  auto const& r = v.m_coord;
  auto const& g = mesh.get_vertex(mesh.origin(in)).m_coord;
  auto const& t = mesh.get_vertex(mesh.get_halfedge(out).m_destination).m_coord;
  double const p_own = f.m_pressure;
  auto pressure_across = [&](polymesh::halfedge_handle h) {
    auto const other = mesh.get_halfedge(mesh.get_halfedge(h).m_twin).m_face;
    return other.is_null() ? p_own : mesh.get_face(other).m_pressure;
  };
  double const gamma = mesh.m_film_tension;
  double const dev_in = film_deviation(r, g, p_own, pressure_across(in), gamma);
  double const dev_out = film_deviation(r, t, p_own, pressure_across(out), gamma);
  return chord_opening(r, g, t) + dev_in + dev_out;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
