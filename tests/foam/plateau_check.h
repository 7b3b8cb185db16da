#ifndef FROTH_TESTS_FOAM_PLATEAU_CHECK_H
#define FROTH_TESTS_FOAM_PLATEAU_CHECK_H

// How far a foam is from equilibrium, measured from its junctions and
// pressures alone, with its own circle geometry: each film is drawn as the
// circle through its ends of radius max(2 gamma / |dp|, L / 2) centred on the
// higher-pressure side. A bubble's area is its polygon plus the segments
// between chords and arcs: Green's theorem about the centre for a strongly
// bent film, Gauss-Legendre quadrature of the arc's height over the chord for
// a flat one, whose centre lies too far off for the first. Each junction's
// films give their arcs' tangents there. It shares no code with the
// simulator's film geometry, so it can judge it.

#include <algorithm>
#include <cmath>

#include "foam/foam_builders.h"

namespace froth_test {

struct PlateauResiduals {
  double m_area = 0.0;     ///< largest |area - target| over the ordinary bubbles
  double m_tangent = 0.0;  ///< largest |sum of the unit film tangents| over the junctions
};

/// One film from P to Q with bubble F on its right (pressure pf) and G on its
/// left (pg): the circle's centre, radius and the signed angle the arc turns
/// through; straight when the pressures are equal.
struct CheckedArc {
  double cx = 0, cy = 0, r = 0, turn = 0;
  bool straight = true;
  CheckedArc(vector3_type const& P, vector3_type const& Q, double pf, double pg, double gamma) {
    double const dx = Q.x - P.x, dy = Q.y - P.y, L = std::hypot(dx, dy);
    double const dp = pf - pg;
    if (dp == 0.0 || L == 0.0) return;
    straight = false;
    r = std::max(2.0 * gamma / std::abs(dp), 0.5 * L);
    double const side = dp > 0.0 ? 1.0 : -1.0;  // the centre lies on F's side
    double const h = std::sqrt(std::max(0.0, r * r - 0.25 * L * L));
    cx = 0.5 * (P.x + Q.x) + side * h * dy / L;
    cy = 0.5 * (P.y + Q.y) - side * h * dx / L;
    double const ax = P.x - cx, ay = P.y - cy, bx = Q.x - cx, by = Q.y - cy;
    // A centre on the right turns the arc clockwise.
    turn = -side * std::atan2(std::abs(ax * by - ay * bx), ax * bx + ay * by);
  }
  /// The area between chord and arc, positive when the arc lies left of P-Q.
  double segment(vector3_type const& P, vector3_type const& Q) const {
    if (straight) return 0.0;
    double const L = std::hypot(Q.x - P.x, Q.y - P.y);
    if (r < 2.0 * L) {
      // Green's theorem about P (so that no digits go far from the origin):
      // the arc's sweep about the centre and the centre's triangle.
      return -0.5 * (r * r * turn + (cx - P.x) * (Q.y - P.y) - (cy - P.y) * (Q.x - P.x));
    }
    // The arc's height above the chord at u from its middle, written
    // without cancellation; 8-point Gauss-Legendre on each half.
    static double const node[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267, 0.9602898564975362};
    static double const weight[4] = {0.3626837833783618, 0.3137066458778870, 0.2223810344533743, 0.1012285362903767};
    double const half = 0.5 * L, h = std::sqrt(r * r - half * half);
    auto height = [&](double u) { return (half * half - u * u) / (std::sqrt(r * r - u * u) + h); };
    double area = 0.0;
    for (int i = 0; i < 4; ++i) area += weight[i] * 2.0 * height(half * node[i]);
    return (turn > 0.0 ? -1.0 : 1.0) * half * area;
  }
  /// The unit tangent at P, pointing along the film towards Q.
  vector3_type tangent_at_start(vector3_type const& P, vector3_type const& Q) const {
    if (straight) return unit(Q - P);
    double const s = turn > 0.0 ? 1.0 : -1.0;
    return {-s * (P.y - cy) / r, s * (P.x - cx) / r, 0.0};
  }
};

inline PlateauResiduals plateau_residuals(FoamMesh const& foam) {
  PlateauResiduals res;
  double const gamma = foam.m_film_tension;
  auto arc_of = [&](FoamMesh::halfedge_type const& h) {
    auto const& P = foam.get_vertex(foam.origin(h.m_self)).m_coord;
    auto const& Q = foam.get_vertex(h.m_destination).m_coord;
    double const pf = foam.get_face(h.m_face).m_pressure;
    auto const other = foam.get_halfedge(h.m_twin).m_face;
    double const pg = other.is_null() ? pf : foam.get_face(other).m_pressure;
    return CheckedArc(P, Q, pf, pg, gamma);
  };
  for (auto const& f : foam.faces()) {
    if (f.m_is_outer) continue;
    // A clockwise loop: its area lies right of every film. The shoelace is
    // taken about a corner, so that no digits go far from the origin.
    double area = 0.0;
    auto const o = foam.get_vertex(foam.origin(f.m_border_halfedge)).m_coord;
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      auto const& P = foam.get_vertex(foam.origin(c.handle())).m_coord;
      auto const& Q = foam.get_vertex(c->m_destination).m_coord;
      area += 0.5 * ((Q.x - o.x) * (P.y - o.y) - (P.x - o.x) * (Q.y - o.y)) + arc_of(*c).segment(P, Q);
    }
    res.m_area = std::max(res.m_area, std::abs(area - std::max(f.m_target_area, 0.0)));
  }
  for (auto const& v : foam.vertices()) {
    vector3_type sum(0.0, 0.0, 0.0);
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      if (c->m_face.is_null()) continue;
      sum = sum + arc_of(*c).tangent_at_start(v.m_coord, foam.get_vertex(c->m_destination).m_coord);
    }
    res.m_tangent = std::max(res.m_tangent, std::hypot(sum.x, sum.y));
  }
  return res;
}

}  // namespace froth_test

#endif
