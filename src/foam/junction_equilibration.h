#ifndef FROTH_FOAM_JUNCTION_EQUILIBRATION_H
#define FROTH_FOAM_JUNCTION_EQUILIBRATION_H

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

#include "foam/film_arc_derivatives.h"
#include "foam/foam2d_simulator.h"
#include "foam/foam_geometry.h"

namespace Quarvel {
namespace kordal {

/// Three bubbles in a fixed order (c0, c1, c2), with pressure offsets that
/// belong to them in the same order.
using bubble_triple = std::array<polymesh::face_handle, 3>;
using pressure_offsets = std::array<double, 3>;

/// Area of c0 = triple[0] with the junction displaced by d and the pressures
/// of the triple offset: the polygon as a fan from the displaced junction plus
/// the films' segments, a film whose other side is c1 or c2 taking that
/// bubble's offset and a film on the open boundary counting straight. 0 for
/// the outer bubble; -1 when the junction is not a corner of c0. With no
/// displacement and no offsets this is compute_area up to rounding.
template <typename Mesh>
double perturbed_area(Mesh const& mesh, bubble_triple const& triple, polymesh::vertex_handle junction,
                      typename Mesh::vector3_type const& d, pressure_offsets const& offsets) {
  auto const& c0 = mesh.get_face(triple[0]);
  if (c0.m_is_outer) return 0.0;
  auto const r = mesh.get_vertex(junction).m_coord + d;
  double const p_own = c0.m_pressure + offsets[0];
  double const gamma = mesh.m_film_tension;
  double area = 0.0;
  bool found = false;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, triple[0]); c; ++c) {
    polymesh::vertex_handle const from = mesh.origin(c.handle());
    polymesh::vertex_handle const to = c->m_destination;
    if (to == junction) found = true;
    auto const& w = from == junction ? r : mesh.get_vertex(from).m_coord;
    auto const& E = to == junction ? r : mesh.get_vertex(to).m_coord;
    double const triangle = fan_triangle(r, w, E);
    polymesh::face_handle const other = mesh.get_halfedge(c->m_twin).m_face;
    double p_other = p_own;
    if (!other.is_null()) {
      p_other =
          mesh.get_face(other).m_pressure + (other == triple[1] ? offsets[1] : (other == triple[2] ? offsets[2] : 0.0));
    }
    area += triangle + film_arc(w, E, p_own, p_other, gamma).m_segment_area;
  }
  return found ? area : -1.0;
}

/// Interior angle (radians) of c0 = triple[0] at the junction displaced by d,
/// with the pressures of the triple offset; -1 when the junction is not a
/// corner of c0. With no displacement and no offsets this is junction_angle.
template <typename Mesh>
double junction_angle(Mesh const& mesh, bubble_triple const& triple, polymesh::vertex_handle junction,
                      typename Mesh::vector3_type const& d, pressure_offsets const& offsets) {
  polymesh::halfedge_handle in, out;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, triple[0]); c; ++c) {
    if (c->m_destination == junction) in = c.handle();
    if (mesh.origin(c.handle()) == junction) out = c.handle();
  }
  if (in.is_null() || out.is_null()) return -1.0;
  auto const r = mesh.get_vertex(junction).m_coord + d;
  auto const& g = mesh.get_vertex(mesh.origin(in)).m_coord;
  auto const& t = mesh.get_vertex(mesh.get_halfedge(out).m_destination).m_coord;
  double const p_own = mesh.get_face(triple[0]).m_pressure + offsets[0];
  auto pressure_across = [&](polymesh::halfedge_handle h) {
    polymesh::face_handle const other = mesh.get_halfedge(mesh.get_halfedge(h).m_twin).m_face;
    if (other.is_null()) return p_own;
    return mesh.get_face(other).m_pressure +
           (other == triple[1] ? offsets[1] : (other == triple[2] ? offsets[2] : 0.0));
  };
  double const gamma = mesh.m_film_tension;
  double const dev_in = film_deviation(r, g, p_own, pressure_across(in), gamma);
  double const dev_out = film_deviation(r, t, p_own, pressure_across(out), gamma);
  return chord_opening(r, g, t) + dev_in + dev_out;
}

/// True when the point lies inside the bubble's polygon (straight films, the
/// even-odd rule over its corners in loop order). The outer bubble contains
/// every point.
template <typename Face, typename Vector>
bool contains_point(Face const& f, Vector const& point) {
  if (f.m_is_outer) return true;
  auto const& mesh = *f.m_owner;
  bool inside = false;
  for (typename std::remove_pointer_t<decltype(f.m_owner)>::const_face_halfedge_circulator c(mesh, f.m_self); c; ++c) {
    auto const& a = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    auto const& b = mesh.get_vertex(c->m_destination).m_coord;
    bool const straddles = (a.y <= point.y && point.y < b.y) || (b.y <= point.y && point.y < a.y);
    if (straddles && a.x + (point.y - a.y) * (b.x - a.x) / (b.y - a.y) > point.x) inside = !inside;
  }
  return inside;
}

/// True when the bubble's loop runs clockwise, judged at its lowest corner
/// (the rightmost of equal lowest, the last of equal ones in loop order). The
/// outer bubble always passes.
template <typename Face>
bool is_clockwise(Face const& f) {
  if (f.m_is_outer) return true;
  auto const& mesh = *f.m_owner;
  using circulator = typename std::remove_pointer_t<decltype(f.m_owner)>::const_face_halfedge_circulator;
  circulator c(mesh, f.m_self);
  if (!c) return false;
  polymesh::halfedge_handle best = c.handle();
  for (; c; ++c) {
    auto const& p = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    auto const& q = mesh.get_vertex(mesh.origin(best)).m_coord;
    if (p.y < q.y || (p.y == q.y && p.x >= q.x)) best = c.handle();
  }
  auto const& t = mesh.get_vertex(mesh.origin(best)).m_coord;
  auto const& prev = mesh.get_vertex(mesh.origin(mesh.get_halfedge(best).m_prev)).m_coord;
  auto const& next = mesh.get_vertex(mesh.get_halfedge(best).m_destination).m_coord;
  return t.y * next.x + prev.x * next.y + t.x * prev.y - t.y * prev.x - next.x * prev.y - next.y * t.x > 0.0;
}

/// The three bubbles around one junction, gathered from the mesh once so that
/// the areas and angles of the equilibration can be evaluated many times
/// without walking the mesh or allocating. area() and angle() give exactly
/// the bits of perturbed_area and the perturbed junction_angle for the same
/// arguments: each film's geometry at zero offsets is kept, and only the films
/// that a displacement or an offset touches are computed again. The outer
/// bubble is not gathered: its area is 0 and its angle -1.
template <typename Mesh>
class JunctionStencil {
 public:
  using vector3_type = typename Mesh::vector3_type;

  JunctionStencil() = default;
  // The film pointer may point into the object itself.
  JunctionStencil(JunctionStencil const&) = delete;
  JunctionStencil& operator=(JunctionStencil const&) = delete;

  /// Gathers the bubbles b (in this order) around junction: corner positions,
  /// the pressures across every film, and each film's geometry as it stands.
  /// Nothing is gathered for the outer bubble.
  void gather(Mesh const& mesh, polymesh::vertex_handle junction, bubble_triple const& b) {
    m_b = b;
    m_position = mesh.get_vertex(junction).m_coord;
    m_gamma = mesh.m_film_tension;
    std::size_t total = 0;
    for (int k = 0; k < 3; ++k) {
      auto const& f = mesh.get_face(b[k]);
      m_outer[k] = f.m_is_outer;
      m_pressure[k] = f.m_pressure;
      if (!m_outer[k]) total += film_count(f);
    }
    if (total > fixed_capacity) {
      if (m_spill.size() < total) m_spill.resize(total);
      m_films = m_spill.data();
    } else {
      m_films = m_fixed.data();
    }
    std::size_t i = 0;
    for (int k = 0; k < 3; ++k) {
      m_begin[k] = m_end[k] = i;
      m_in[k] = m_out[k] = none;
      if (m_outer[k]) continue;
      for (typename Mesh::const_face_halfedge_circulator c(mesh, b[k]); c; ++c, ++i) {
        Film& film = m_films[i];
        polymesh::vertex_handle const from = mesh.origin(c.handle());
        polymesh::vertex_handle const to = c->m_destination;
        film.m_from_junction = from == junction;
        film.m_to_junction = to == junction;
        film.m_from = mesh.get_vertex(from).m_coord;
        film.m_to = mesh.get_vertex(to).m_coord;
        if (film.m_to_junction) m_in[k] = i;
        if (film.m_from_junction) m_out[k] = i;
        film.m_other = mesh.get_halfedge(c->m_twin).m_face;
        film.m_p_other = film.m_other.is_null() ? m_pressure[k] : mesh.get_face(film.m_other).m_pressure;
        film.m_segment = film_arc(film.m_from, film.m_to, m_pressure[k], film.m_p_other, m_gamma).m_segment_area;
        film.m_triangle = fan_triangle(m_position, film.m_from, film.m_to);
      }
      m_end[k] = i;
      if (m_in[k] != none && m_out[k] != none) {
        Film const& in = m_films[m_in[k]];
        Film const& out = m_films[m_out[k]];
        m_opening[k] = chord_opening(m_position, in.m_from, out.m_to);
        m_dev_in[k] = film_deviation(m_position, in.m_from, m_pressure[k], in.m_p_other, m_gamma);
        m_dev_out[k] = film_deviation(m_position, out.m_to, m_pressure[k], out.m_p_other, m_gamma);
      }
    }
  }

  /// perturbed_area of the triple (b[k], b[k+1], b[k+2]) with displacement d
  /// and offsets o in that triple's order.
  double area(int k, vector3_type const& d, pressure_offsets const& o) const {
    if (m_outer[k]) return 0.0;
    polymesh::face_handle const c1 = m_b[(k + 1) % 3], c2 = m_b[(k + 2) % 3];
    vector3_type const r = m_position + d;
    double const p_own = m_pressure[k] + o[0];
    bool const moved = d.x != 0.0 || d.y != 0.0 || d.z != 0.0;
    double area = 0.0;
    for (std::size_t i = m_begin[k]; i < m_end[k]; ++i) {
      Film const& film = m_films[i];
      vector3_type const& w = film.m_from_junction ? r : film.m_from;
      vector3_type const& E = film.m_to_junction ? r : film.m_to;
      double const triangle = moved ? fan_triangle(r, w, E) : film.m_triangle;
      double const o_other = film.m_other == c1 ? o[1] : (film.m_other == c2 ? o[2] : 0.0);
      double segment = film.m_segment;
      if (o[0] != 0.0 || o_other != 0.0 || (moved && (film.m_from_junction || film.m_to_junction))) {
        double const p_other = film.m_other.is_null() ? p_own : film.m_p_other + o_other;
        segment = film_arc(w, E, p_own, p_other, m_gamma).m_segment_area;
      }
      // One addition per film. GCC 12.2 vectorizes two additions of loaded
      // values to one sum (an in-order reduction chain) wrongly: where both
      // are the stored triangle and segment, it adds the segment twice.
      area += triangle + segment;
    }
    return m_in[k] != none ? area : -1.0;
  }

  /// The derivatives of area(k, 0, 0) and angle(k, 0, 0) in the five
  /// unknowns of the junction: the pressures of b[0], b[1], b[2], then the
  /// junction's x and y. A film bent to a half circle answers to its length
  /// only, as film_arc clamps it. False, with nothing written, when the
  /// junction is not a corner of b[k].
  bool derivatives(int k, double (&d_area)[5], double (&d_angle)[5]) const {
    if (m_in[k] == none || m_out[k] == none) return false;
    for (int j = 0; j < 5; ++j) d_area[j] = d_angle[j] = 0.0;
    auto column = [&](Film const& film) {
      for (int j = 0; j < 3; ++j) {
        if (j != k && !film.m_other.is_null() && film.m_other == m_b[j]) return j;
      }
      return -1;
    };
    auto arc = [&](Film const& film) {
      double const dx = film.m_to.x - film.m_from.x, dy = film.m_to.y - film.m_from.y, dz = film.m_to.z - film.m_from.z;
      double const L = std::sqrt(dx * dx + dy * dy + dz * dz);
      return std::make_pair(L, film_arc_derivatives(L, m_pressure[k] - film.m_p_other, m_gamma));
    };
    for (std::size_t i = m_begin[k]; i < m_end[k]; ++i) {
      Film const& film = m_films[i];
      if (film.m_other.is_null()) continue;  // straight whatever the pressures
      auto const [L, d] = arc(film);
      d_area[k] += d.m_area_by_dp;
      int const j = column(film);
      if (j >= 0) d_area[j] -= d.m_area_by_dp;
      if ((film.m_from_junction || film.m_to_junction) && L > 0.0) {
        // The chord grows along the junction's side of it.
        vector3_type const& far = film.m_from_junction ? film.m_to : film.m_from;
        d_area[3] += d.m_area_by_length * (m_position.x - far.x) / L;
        d_area[4] += d.m_area_by_length * (m_position.y - far.y) / L;
      }
    }
    Film const& in = m_films[m_in[k]];
    Film const& out = m_films[m_out[k]];
    vector3_type const& g = in.m_from;
    vector3_type const& t = out.m_to;
    // The polygon's area at its corner r between g and t, as the fans add it.
    d_area[3] += 0.5 * (g.y - t.y);
    d_area[4] += 0.5 * (t.x - g.x);
    // The opening turns with the directions to g and to t.
    double const ux = g.x - m_position.x, uy = g.y - m_position.y, wx = t.x - m_position.x, wy = t.y - m_position.y;
    double const uu = ux * ux + uy * uy, ww = wx * wx + wy * wy;
    if (uu > 0.0 && ww > 0.0) {
      d_angle[3] += wy / ww - uy / uu;
      d_angle[4] += ux / uu - wx / ww;
    }
    for (Film const* film : {&in, &out}) {
      if (film->m_other.is_null()) continue;
      auto const [L, d] = arc(*film);
      d_angle[k] += d.m_deviation_by_dp;
      int const j = column(*film);
      if (j >= 0) d_angle[j] -= d.m_deviation_by_dp;
      if (L > 0.0) {
        vector3_type const& far = film == &in ? g : t;
        d_angle[3] += d.m_deviation_by_length * (m_position.x - far.x) / L;
        d_angle[4] += d.m_deviation_by_length * (m_position.y - far.y) / L;
      }
    }
    return true;
  }

  /// The perturbed junction_angle of the triple (b[k], b[k+1], b[k+2]).
  double angle(int k, vector3_type const& d, pressure_offsets const& o) const {
    if (m_in[k] == none || m_out[k] == none) return -1.0;
    polymesh::face_handle const c1 = m_b[(k + 1) % 3], c2 = m_b[(k + 2) % 3];
    Film const& in = m_films[m_in[k]];
    Film const& out = m_films[m_out[k]];
    bool const moved = d.x != 0.0 || d.y != 0.0 || d.z != 0.0;
    vector3_type const r = m_position + d;
    double const p_own = m_pressure[k] + o[0];
    auto across = [&](Film const& film) {
      if (film.m_other.is_null()) return p_own;
      return film.m_p_other + (film.m_other == c1 ? o[1] : (film.m_other == c2 ? o[2] : 0.0));
    };
    auto unchanged = [&](Film const& film) {
      return !moved && o[0] == 0.0 && (film.m_other == c1 ? o[1] : (film.m_other == c2 ? o[2] : 0.0)) == 0.0;
    };
    double const dev_in = unchanged(in) ? m_dev_in[k] : film_deviation(r, in.m_from, p_own, across(in), m_gamma);
    double const dev_out = unchanged(out) ? m_dev_out[k] : film_deviation(r, out.m_to, p_own, across(out), m_gamma);
    double const a = moved ? chord_opening(r, in.m_from, out.m_to) : m_opening[k];
    return a + dev_in + dev_out;
  }

 private:
  struct Film {
    vector3_type m_from, m_to;  ///< chord ends; an end at the junction is replaced by r
    bool m_from_junction = false;
    bool m_to_junction = false;
    polymesh::face_handle m_other;  ///< bubble across the film; null on the open boundary
    double m_p_other = 0.0;         ///< its pressure
    double m_segment = 0.0;         ///< segment area at zero offsets, seen from the own bubble
    double m_triangle = 0.0;        ///< its fan triangle from the junction where it stands
  };

  static constexpr std::size_t none = static_cast<std::size_t>(-1);
  // Enough for three bubbles of up to 24 films each; larger ones spill over
  // to the heap, once per gather at most.
  static constexpr std::size_t fixed_capacity = 72;

  bubble_triple m_b;
  vector3_type m_position;
  double m_gamma = 0.0;
  bool m_outer[3] = {false, false, false};
  double m_pressure[3] = {0.0, 0.0, 0.0};
  std::size_t m_begin[3] = {0, 0, 0}, m_end[3] = {0, 0, 0};
  std::size_t m_in[3] = {none, none, none}, m_out[3] = {none, none, none};
  double m_opening[3] = {0.0, 0.0, 0.0};
  double m_dev_in[3] = {0.0, 0.0, 0.0}, m_dev_out[3] = {0.0, 0.0, 0.0};
  std::array<Film, fixed_capacity> m_fixed;
  std::vector<Film> m_spill;
  Film* m_films = nullptr;
};

}  // namespace kordal
}  // namespace Quarvel

// The iteration over this stencil.
#include "foam/junction_newton.h"

#endif
