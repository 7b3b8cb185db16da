#ifndef FROTH_FOAM_JUNCTION_EQUILIBRATION_H
#define FROTH_FOAM_JUNCTION_EQUILIBRATION_H

#include <algorithm>
#include <array>
#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <utility>
#include <vector>

#include "foam/foam2d_simulator.h"
#include "foam/foam_geometry.h"
#include "math/svd.h"

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
    double const triangle = 0.5 * (w.y * E.x + E.y * r.x + r.y * w.x - E.x * r.y - E.y * w.x - w.y * r.x);
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
  double const dev_in = film_arc(r, g, p_own, pressure_across(in), gamma).m_deviation;
  double const dev_out = film_arc(r, t, p_own, pressure_across(out), gamma).m_deviation;
  auto const u = unit(g - r);
  auto const w = unit(t - r);
  double a = std::acos(std::max(-1.0, std::min(1.0, dot(u, w))));
  if (u.x * w.y - u.y * w.x <= 0.0) a = 2.0 * M_PI - a;
  return a + dev_in + dev_out;
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

/// The end deviation of film_arc alone, computed by the same steps, so that
/// it equals film_arc(P, Q, p_own, p_other, gamma).m_deviation bit for bit.
template <typename Vector, typename Real>
Real film_deviation(Vector const& P, Vector const& Q, Real p_own, Real p_other, Real gamma) {
  Real const dp = p_own - p_other;
  if (!(std::abs(dp) > Real(0))) return Real(0);
  Real const dx = Q.x - P.x, dy = Q.y - P.y, dz = Q.z - P.z;
  Real const L = std::sqrt(dx * dx + dy * dy + dz * dz);
  Real const s = dp > Real(0) ? Real(1) : Real(-1);
  Real const R = std::max(Real(2) * gamma / std::abs(dp), L / Real(2));
  Real const ratio = R > Real(0) ? std::min(Real(1), (L / Real(2)) / R) : Real(0);
  Real const theta = Real(2) * std::asin(ratio);
  return s * theta / Real(2);
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
        m_opening[k] = opening(m_position, in.m_from, out.m_to);
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
    double const a = moved ? opening(r, in.m_from, out.m_to) : m_opening[k];
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

  /// Signed area of the fan triangle (r, E, w), as perturbed_area adds it.
  static double fan_triangle(vector3_type const& r, vector3_type const& w, vector3_type const& E) {
    return 0.5 * (w.y * E.x + E.y * r.x + r.y * w.x - E.x * r.y - E.y * w.x - w.y * r.x);
  }

  /// The straight-chord part of junction_angle: the angle from g - r to t - r,
  /// measured the clockwise way round.
  static double opening(vector3_type const& r, vector3_type const& g, vector3_type const& t) {
    auto const u = unit(g - r);
    auto const w = unit(t - r);
    double a = std::acos(std::max(-1.0, std::min(1.0, dot(u, w))));
    if (u.x * w.y - u.y * w.x <= 0.0) a = 2.0 * M_PI - a;
    return a;
  }

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

namespace equilibration_detail {

template <typename M, typename T>
T bubble_traits_of(polymesh::PolyMeshFace<M, T> const&);

}  // namespace equilibration_detail

template <class Mesh, class T1Threshold, class T2AreaThreshold, class DiffusionVonNeumann, class FilmThinningRate,
          class FilmRuptureBoundary>
void Foam2DSimulator<Mesh, T1Threshold, T2AreaThreshold, DiffusionVonNeumann, FilmThinningRate,
                     FilmRuptureBoundary>::equilibrate(vertex_handle junction, unsigned const& max_iterations,
                                                       double const& tau) {
  namespace ublas = boost::numeric::ublas;
  using traits_type = decltype(equilibration_detail::bubble_traits_of(std::declval<typename Mesh::face_type const&>()));
  using matrix_type = ublas::c_matrix<double, 5, 5>;
  using vector_type = ublas::c_vector<double, 5>;

  Mesh& mesh = *m_mesh;
  if (!mesh.is_valid_vertex_handle(junction)) return;
  auto& vertex = mesh.get_vertex(junction);
  if (is_boundary(vertex) || valency(vertex) != 3) return;

  // b0, b1, b2 in the junction's circulator order; every vector and matrix
  // below follows it.
  bubble_triple b;
  {
    int i = 0;
    for (typename Mesh::const_vertex_halfedge_circulator c(mesh, junction); c; ++c) b[i++] = c->m_face;
  }
  int outer = -1;
  for (int k = 0; k < 3; ++k) {
    if (mesh.get_face(b[k]).m_is_outer) outer = k;
  }
  // The angle equations use the first two bubbles that are not the outer one.
  int angle_bubble[2];
  for (int k = 0, n = 0; k < 3 && n < 2; ++k) {
    if (k != outer) angle_bubble[n++] = k;
  }

  std::array<traits_type, 3> snapshot;
  vector3_type snapshot_coord;
  auto take_snapshot = [&] {
    for (int k = 0; k < 3; ++k) snapshot[k] = static_cast<traits_type const&>(mesh.get_face(b[k]));
    snapshot_coord = vertex.m_coord;
  };
  auto give_up = [&] {
    for (int k = 0; k < 3; ++k) static_cast<traits_type&>(mesh.get_face(b[k])) = snapshot[k];
    vertex.m_coord = snapshot_coord;
    if (m_verbose) std::cout << "some condition went wrong during equilibration -> aborted!" << std::endl;
  };
  take_snapshot();

  double const target_angle = two_pi_over_three();
  // Below this scale the central differences drown in rounding noise: a
  // Jacobian that has not settled by then never will.
  double const smallest_scale = 1e-8;
  double const tau_used = tau > 0.0 ? tau : m_tau;
  vector3_type const no_displacement(0.0, 0.0, 0.0);
  pressure_offsets const no_offsets{0.0, 0.0, 0.0};
  JunctionStencil<Mesh> stencil;

  double prev_err = 2.0 * M_PI;
  for (unsigned k = 0; max_iterations == 0 || k < max_iterations; ++k) {
    stencil.gather(mesh, junction, b);

    vector_type F(5);
    for (int i = 0; i < 3; ++i) {
      // An area cannot fall below zero: a target that diffusion has taken
      // below it (until the T2 event removes the bubble) is aimed at as zero.
      F(i) = std::max(0.0, mesh.get_face(b[i]).m_target_area) - stencil.area(i, no_displacement, no_offsets);
    }
    for (int i = 0; i < 2; ++i) F(3 + i) = target_angle - stencil.angle(angle_bubble[i], no_displacement, no_offsets);
    for (int i = 0; i < 5; ++i) {
      if (!std::isfinite(F(i))) return give_up();
    }

    if (std::abs(F(0)) <= 1e-6 && std::abs(F(1)) <= 1e-6 && std::abs(F(2)) <= 1e-6 && std::abs(F(3)) <= 1e-4 &&
        std::abs(F(4)) <= 1e-4) {
      if (m_verbose) {
        std::cout << "Absolute convergence obtained in " << k + 1
                  << " iteration(s) for junction [handleID]: " << junction << std::endl;
      }
      return;
    }

    double const err = std::max(std::abs(F(3)), std::abs(F(4)));
    if (prev_err < err) {
      if (m_verbose) {
        std::cout << "Fluxating convergency observed for junction [handleID]: " << junction << " during iteration "
                  << k + 1 << std::endl;
      }
      return give_up();
    }
    prev_err = err;

    // Jacobian by central differences; the step is halved until two
    // successive matrices agree. Row and column of the outer bubble stay 0:
    // its pressure is no unknown and its area equation drops out.
    matrix_type J(5, 5), J_prev(5, 5);
    J_prev.clear();
    double scale = 0.25;
    for (;;) {
      double const h = scale * 0.01;
      J.clear();
      auto differences = [&](int row, int own, auto const& f) {
        for (int j = 0; j < 5; ++j) {
          if (j == outer) continue;
          vector3_type dm(0.0, 0.0, 0.0), dp(0.0, 0.0, 0.0);
          pressure_offsets om{0.0, 0.0, 0.0}, op{0.0, 0.0, 0.0};
          if (j < 3) {
            om[(j - own + 3) % 3] = -h;
            op[(j - own + 3) % 3] = h;
          } else {
            dm[j - 3] = -h;
            dp[j - 3] = h;
          }
          J(row, j) = (f(own, dp, op) - f(own, dm, om)) / (2.0 * h);
        }
      };
      auto area = [&](int own, vector3_type const& d, pressure_offsets const& o) { return stencil.area(own, d, o); };
      auto angle = [&](int own, vector3_type const& d, pressure_offsets const& o) { return stencil.angle(own, d, o); };
      for (int i = 0; i < 3; ++i) {
        if (i != outer) differences(i, i, area);
      }
      for (int i = 0; i < 2; ++i) differences(3 + i, angle_bubble[i], angle);

      double max_err = 0.0;
      for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
          if (!std::isfinite(J(i, j))) return give_up();
          max_err = std::max(max_err, std::abs(J_prev(i, j) - J(i, j)));
        }
      }
      if (m_verbose) std::cout << "max_err: " << max_err << "  scale: " << scale << std::endl;
      scale *= 0.5;
      if (max_err < 1.0) break;
      if (scale < smallest_scale) {
        if (m_verbose) {
          std::cout << "system matrix is ill posed for junction [handleID]: " << junction << " (during iteration "
                    << k + 1 << ")" << std::endl;
        }
        return give_up();
      }
      J_prev = J;
    }

    if (m_verbose) {
      std::cout << std::setprecision(5);
      for (int i = 0; i < 5; ++i) {
        std::cout << "[ ";
        for (int j = 0; j < 5; ++j) std::cout << std::setw(11) << J(i, j);
        std::cout << " ]   [ " << std::setw(11) << F(i) << " ]" << std::endl;
      }
    }

    vector_type x(5);
    x.clear();
    math::svd_solve(J, F, x);
    for (int i = 0; i < 5; ++i) {
      if (!std::isfinite(x(i))) return give_up();
    }
    if (m_verbose) {
      vector_type const bx = ublas::prod(J, x);
      std::cout << "x  := [ ";
      for (int i = 0; i < 5; ++i) std::cout << x(i) << " ";
      std::cout << "]" << std::endl << "b' := [ ";
      for (int i = 0; i < 5; ++i) std::cout << bx(i) << " ";
      std::cout << "]" << std::endl;
    }

    // Line search: the moved junction must lie inside one of its bubbles as
    // they stand, leave all three clockwise, and turn no bubble inside out.
    // When no step of at least 0.001 passes, no step is taken: a shorter one,
    // untested, could still turn a bubble inside out.
    vector3_type const position = vertex.m_coord;
    vector3_type const step(x(3), x(4), 0.0);
    // The bubbles whose area the step can change: the three, and every
    // neighbour of them, whose films curve with the three pressures.
    double saved_pressure[3];
    for (int i = 0; i < 3; ++i) saved_pressure[i] = mesh.get_face(b[i]).m_pressure;
    m_guarded.clear();
    for (int i = 0; i < 3; ++i) {
      guard_area(b[i]);
      if (i == outer) continue;
      for (typename Mesh::const_face_halfedge_circulator c(mesh, b[i]); c; ++c) {
        guard_area(mesh.get_halfedge(c->m_twin).m_face);
      }
    }
    // Every film of the three bubbles, in loop order, with how far it is bent.
    auto for_each_film = [&](auto const& visit) {
      for (int i = 0; i < 3; ++i) {
        if (i == outer) continue;
        double const p_own = mesh.get_face(b[i]).m_pressure;
        for (typename Mesh::const_face_halfedge_circulator c(mesh, b[i]); c; ++c) {
          auto const& P = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
          auto const& Q = mesh.get_vertex(c->m_destination).m_coord;
          if (!visit(film_bend(P, Q, p_own, pressure_across_border(mesh, c.handle()), mesh.m_film_tension))) return false;
        }
      }
      return true;
    };
    m_bends.clear();
    for_each_film([&](double bend) {
      m_bends.push_back(bend);
      return true;
    });
    double tau_k = tau_used;
    while (tau_k >= 0.001) {
      vector3_type const candidate = position + tau_k * step;
      bool ok = false;
      for (int i = 0; i < 3 && !ok; ++i) ok = contains_point(mesh.get_face(b[i]), candidate);
      if (ok) {
        vertex.m_coord = candidate;
        for (int i = 0; i < 3 && ok; ++i) ok = is_clockwise(mesh.get_face(b[i]));
        // A clockwise polygon can still be inside out once its films curve
        // inwards: the step, pressures included, must not take a bubble's
        // area below zero (or further below, if it already was).
        if (ok) {
          for (int i = 0; i < 3; ++i) {
            if (i != outer) mesh.get_face(b[i]).m_pressure = saved_pressure[i] + tau_k * x(i);
          }
          ok = guarded_areas_hold();
          // A film bent into a half circle no longer answers to the
          // pressures: the Jacobian loses it, and a bubble whose films are
          // all that far is stuck for good. Long films reach it at small
          // pressure differences (4 gamma / L), so in a coarse foam one
          // ordinary step can overshoot there. No step bends a film that
          // far, or further if it already is.
          std::size_t n = 0;
          ok = ok && for_each_film([&](double bend) {
                 double const before = m_bends[n++];
                 return bend < 1.0 || bend <= before;
               });
          for (int i = 0; i < 3; ++i) mesh.get_face(b[i]).m_pressure = saved_pressure[i];
        }
        vertex.m_coord = position;
      }
      if (ok) break;
      tau_k *= 0.5;
    }
    if (tau_k < 0.001) tau_k = 0.0;
    if (m_verbose) {
      std::cout << "x' := [ ";
      for (int i = 0; i < 5; ++i) std::cout << tau_k * x(i) << " ";
      std::cout << "]" << std::endl << "tau := " << tau_k << std::endl;
    }

    // An update that overflows is refused like a non-finite step. One that
    // changes nothing ends the call: the next iteration would repeat it
    // exactly, for ever when there is no cap.
    double pressure[3];
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
      double const p = mesh.get_face(b[i]).m_pressure;
      pressure[i] = i == outer ? p : p + tau_k * x(i);
      changed = changed || pressure[i] != p;
    }
    vector3_type const moved = position + tau_k * step;
    changed = changed || moved != position;
    if (!std::isfinite(pressure[0]) || !std::isfinite(pressure[1]) || !std::isfinite(pressure[2]) ||
        !std::isfinite(moved.x) || !std::isfinite(moved.y)) {
      return give_up();
    }
    take_snapshot();
    for (int i = 0; i < 3; ++i) mesh.get_face(b[i]).m_pressure = pressure[i];
    vertex.m_coord = moved;
    if (!changed) return;
  }
}

}  // namespace kordal
}  // namespace Quarvel

#endif
