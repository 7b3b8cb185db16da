#ifndef FROTH_FOAM_JUNCTION_NEWTON_H
#define FROTH_FOAM_JUNCTION_NEWTON_H

// The damped Newton iteration of one junction: its residual, the Jacobian by
// central differences with its settling loop, the least-squares solve, the
// guarded line search and the update.

#include <algorithm>
#include <array>
#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>
#include <cmath>
#include <iomanip>
#include <ostream>

#include "foam/foam2d_simulator.h"
#include "foam/junction_equilibration.h"
#include "math/svd.h"

namespace Quarvel {
namespace kordal {

/// When a junction counts as converged: every area of its three bubbles
/// within this of its target, both angles within this of 120 degrees.
constexpr double junction_area_tolerance = 1e-6;
constexpr double junction_angle_tolerance = 1e-4;

namespace equilibration_detail {

template <typename M, typename T>
T bubble_traits_of(polymesh::PolyMeshFace<M, T> const&);

/// The central differences start at first_scale x step_per_scale and halve
/// until two successive Jacobians differ by less than settled_change in every
/// entry; below smallest_scale they drown in rounding noise, and a Jacobian
/// that has not settled by then never will.
constexpr double first_scale = 0.25;
constexpr double step_per_scale = 0.01;
constexpr double settled_change = 1.0;
constexpr double smallest_scale = 1e-8;
/// Next to a film bent almost into a half circle, a bubble's area answers to
/// its pressure ever more steeply, and entries of thousands change by more
/// than settled_change down to the smallest step. Such a Jacobian has still
/// settled when its last change is this small against its largest entry.
constexpr double settled_relative_change = 1e-4;
/// A film bent this far or further is next to the half circle: its area
/// answers to the pressures ever more steeply, and past 1 not at all.
constexpr double near_half_circle = 0.999;
/// The line search gives up below this fraction of the Newton step.
constexpr double shortest_step = 0.001;

/// Visits every film of a junction's bubbles but the outer one, in loop
/// order: how far it is bent, its pressure difference (own minus across) and
/// its half-edge. Stops, returning false, at the first visit that does.
template <typename Mesh, typename Visit>
bool for_each_film(Mesh const& mesh, bubble_triple const& b, int outer, Visit const& visit) {
  for (int i = 0; i < 3; ++i) {
    if (i == outer) continue;
    double const p_own = mesh.get_face(b[i]).m_pressure;
    for (typename Mesh::const_face_halfedge_circulator c(mesh, b[i]); c; ++c) {
      auto const& P = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
      auto const& Q = mesh.get_vertex(c->m_destination).m_coord;
      double const p_other = pressure_across_border(mesh, c.handle());
      if (!visit(film_bend(P, Q, p_own, p_other, mesh.m_film_tension), p_own - p_other, c.handle())) return false;
    }
  }
  return true;
}

}  // namespace equilibration_detail

/// The five equations of one three-fold junction (three areas, two angles)
/// in its five unknowns (three pressures, the position), over the stencil of
/// its three bubbles. The outer bubble's pressure is no unknown and its area
/// equation drops out: its row and column stay 0.
template <typename Mesh>
class JunctionSystem {
 public:
  using matrix_type = boost::numeric::ublas::c_matrix<double, 5, 5>;
  using vector_type = boost::numeric::ublas::c_vector<double, 5>;
  using vector3_type = typename Mesh::vector3_type;

  enum class Jacobian { settled, ill_posed, not_finite };

  /// Orders the bubbles b0, b1, b2 as the junction's circulator meets them;
  /// every vector and matrix follows that order.
  JunctionSystem(Mesh& mesh, polymesh::vertex_handle junction) : m_mesh(mesh), m_junction(junction) {
    int i = 0;
    for (typename Mesh::const_vertex_halfedge_circulator c(mesh, junction); c; ++c) m_b[i++] = c->m_face;
    for (int k = 0; k < 3; ++k) {
      if (mesh.get_face(m_b[k]).m_is_outer) m_outer = k;
    }
    // The angle equations use the first two bubbles that are not the outer one.
    for (int k = 0, n = 0; k < 3 && n < 2; ++k) {
      if (k != m_outer) m_angle_bubble[n++] = k;
    }
  }

  /// Gathers the stencil as the foam stands and fills F with target minus
  /// value; false when a value is not finite. An area cannot fall below
  /// zero: a target that diffusion has taken below it (until the T2 event
  /// removes the bubble) is aimed at as zero.
  bool residual(vector_type& F, double target_angle) {
    m_stencil.gather(m_mesh, m_junction, m_b);
    vector3_type const no_displacement(0.0, 0.0, 0.0);
    pressure_offsets const no_offsets{0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
      F(i) = std::max(0.0, m_mesh.get_face(m_b[i]).m_target_area) - m_stencil.area(i, no_displacement, no_offsets);
    }
    for (int i = 0; i < 2; ++i) {
      F(3 + i) = target_angle - m_stencil.angle(m_angle_bubble[i], no_displacement, no_offsets);
    }
    for (int i = 0; i < 5; ++i) {
      if (!std::isfinite(F(i))) return false;
    }
    return true;
  }

  static bool converged(vector_type const& F) {
    return std::abs(F(0)) <= junction_area_tolerance && std::abs(F(1)) <= junction_area_tolerance &&
           std::abs(F(2)) <= junction_area_tolerance && std::abs(F(3)) <= junction_angle_tolerance &&
           std::abs(F(4)) <= junction_angle_tolerance;
  }

  /// The Jacobian by central differences on the gathered stencil, the step
  /// halved until two successive matrices agree. Each try's change goes to
  /// log when given.
  Jacobian difference_jacobian(matrix_type& J, std::ostream* log) const {
    using namespace equilibration_detail;
    matrix_type J_prev(5, 5);
    J_prev.clear();
    double scale = first_scale;
    for (;;) {
      double const h = scale * step_per_scale;
      J.clear();
      auto differences = [&](int row, int own, auto const& f) {
        for (int j = 0; j < 5; ++j) {
          if (j == m_outer) continue;
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
      auto area = [&](int own, vector3_type const& d, pressure_offsets const& o) { return m_stencil.area(own, d, o); };
      auto angle = [&](int own, vector3_type const& d, pressure_offsets const& o) {
        return m_stencil.angle(own, d, o);
      };
      for (int i = 0; i < 3; ++i) {
        if (i != m_outer) differences(i, i, area);
      }
      for (int i = 0; i < 2; ++i) differences(3 + i, m_angle_bubble[i], angle);

      double max_err = 0.0, largest = 0.0;
      for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
          if (!std::isfinite(J(i, j))) return Jacobian::not_finite;
          max_err = std::max(max_err, std::abs(J_prev(i, j) - J(i, j)));
          largest = std::max(largest, std::abs(J(i, j)));
        }
      }
      if (log) *log << "max_err: " << max_err << "  scale: " << scale << std::endl;
      scale *= 0.5;
      if (max_err < settled_change) return Jacobian::settled;
      if (scale < smallest_scale) {
        return max_err <= settled_relative_change * largest ? Jacobian::settled : Jacobian::ill_posed;
      }
      J_prev = J;
    }
  }

  /// The Jacobian from the films' arc derivatives on the gathered stencil;
  /// not_finite when an entry is not.
  Jacobian analytic_jacobian(matrix_type& J) const {
    J.clear();
    double d_area[5], d_angle[5];
    for (int i = 0; i < 3; ++i) {
      if (i == m_outer || !m_stencil.derivatives(i, d_area, d_angle)) continue;
      for (int j = 0; j < 5; ++j) J(i, j) = j == m_outer ? 0.0 : d_area[j];
    }
    for (int n = 0; n < 2; ++n) {
      if (!m_stencil.derivatives(m_angle_bubble[n], d_area, d_angle)) continue;
      for (int j = 0; j < 5; ++j) J(3 + n, j) = j == m_outer ? 0.0 : d_angle[j];
    }
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) {
        if (!std::isfinite(J(i, j))) return Jacobian::not_finite;
      }
    }
    return Jacobian::settled;
  }

  Mesh& m_mesh;
  polymesh::vertex_handle m_junction;
  bubble_triple m_b;
  int m_outer = -1;
  int m_angle_bubble[2] = {0, 1};
  JunctionStencil<Mesh> m_stencil;
};

template <class Mesh, class T1Threshold, class T2AreaThreshold, class DiffusionVonNeumann, class FilmThinningRate,
          class FilmRuptureBoundary>
template <typename System, typename Vector>
double Foam2DSimulator<Mesh, T1Threshold, T2AreaThreshold, DiffusionVonNeumann, FilmThinningRate,
                       FilmRuptureBoundary>::line_search(System const& system, Vector const& x, double tau) {
  // The moved junction must lie inside one of its bubbles as they stand,
  // leave all three clockwise, and turn no bubble inside out. When no step
  // of at least shortest_step passes, no step is taken: a shorter one,
  // untested, could still turn a bubble inside out.
  Mesh& mesh = *m_mesh;
  auto& vertex = mesh.get_vertex(system.m_junction);
  auto const& b = system.m_b;
  int const outer = system.m_outer;
  vector3_type const position = vertex.m_coord;
  vector3_type const step(x(3), x(4), 0.0);
  // The bubbles whose area the step can change: the three, and every
  // neighbour of them, whose films curve with the three pressures.
  double saved_pressure[3];
  for (int i = 0; i < 3; ++i) saved_pressure[i] = mesh.get_face(b[i]).m_pressure;
  // A neighbour's area changes only by the bulge of the films it shares with
  // the three, by at most a half disc (pi L^2 / 8) each way. A neighbour
  // whose area is surely larger than that cannot turn inside out, and is not
  // measured at every trial. Its area is bounded below by its polygon less a
  // rectangle (chord times sagitta) per film, which needs no arc.
  auto among_three = [&](face_handle f) { return f == b[0] || f == b[1] || f == b[2]; };
  auto cannot_turn = [&](face_handle f) {
    if (f.is_null() || among_three(f)) return false;
    auto const& bubble = mesh.get_face(f);
    if (bubble.m_is_outer || bubble.m_border_halfedge.is_null()) return false;
    auto const& q = mesh.get_vertex(mesh.origin(bubble.m_border_halfedge)).m_coord;
    double least = 0.0, reach = 0.0, squares = 0.0;
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
      auto const& w = mesh.get_vertex(mesh.origin(c.handle())).m_coord;
      auto const& E = mesh.get_vertex(c->m_destination).m_coord;
      least += fan_triangle(q, w, E);
      face_handle const other = mesh.get_halfedge(c->m_twin).m_face;
      if (other.is_null()) continue;
      double const L2 = (E.x - w.x) * (E.x - w.x) + (E.y - w.y) * (E.y - w.y);
      double const half_disc = 0.125 * M_PI * L2;
      squares += L2;
      double const bend = std::min(1.0, film_bend(w, E, bubble.m_pressure, mesh.get_face(other).m_pressure,
                                                  mesh.m_film_tension));
      double const sagitta_by_chord = bend > 0.0 ? (1.0 - std::sqrt(1.0 - bend * bend)) / (2.0 * bend) : 0.0;
      least -= std::min(L2 * sagitta_by_chord, half_disc);
      if (among_three(other) && !mesh.get_face(other).m_is_outer) reach += 2.0 * half_disc;
    }
    return least > 1.01 * reach + 1e-9 * squares;
  };
  m_guarded.clear();
  for (int i = 0; i < 3; ++i) {
    guard_area(b[i]);
    if (i == outer) continue;
    for (typename Mesh::const_face_halfedge_circulator c(mesh, b[i]); c; ++c) {
      face_handle const neighbour = mesh.get_halfedge(c->m_twin).m_face;
      if (!cannot_turn(neighbour)) guard_area(neighbour);
    }
  }
  auto for_each_film = [&](auto const& visit) {
    return equilibration_detail::for_each_film(mesh, b, outer, visit);
  };
  m_bends.clear();
  // A half-circle film no longer grows its bubble by pressure, only by
  // growing longer. While the bubble it bulges out of is short of its
  // target, a step may lengthen it at no larger pressure difference.
  auto short_of_target = [&](face_handle f) {
    if (f.is_null() || mesh.get_face(f).m_is_outer) return false;
    auto const& bubble = mesh.get_face(f);
    return compute_area(bubble) < bubble.m_target_area;
  };
  for_each_film([&](double bend, double dp, halfedge_handle film) {
    auto const& h = mesh.get_halfedge(film);
    face_handle const bulging = dp > 0.0 ? h.m_face : mesh.get_halfedge(h.m_twin).m_face;
    bool const may_lengthen = bend >= equilibration_detail::near_half_circle && short_of_target(bulging);
    m_bends.push_back({bend, may_lengthen ? std::abs(dp) : -1.0});
    return true;
  });
  double tau_k = tau;
  while (tau_k >= equilibration_detail::shortest_step) {
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
        // far, or further if it already is, but for the longer film above.
        std::size_t n = 0;
        ok = ok && for_each_film([&](double bend, double dp, halfedge_handle) {
               auto const before = m_bends[n++];
               return bend < 1.0 || bend <= before.first || std::abs(dp) <= before.second;
             });
        for (int i = 0; i < 3; ++i) mesh.get_face(b[i]).m_pressure = saved_pressure[i];
      }
      vertex.m_coord = position;
    }
    if (ok) break;
    tau_k *= 0.5;
  }
  return tau_k < equilibration_detail::shortest_step ? 0.0 : tau_k;
}

template <class Mesh, class T1Threshold, class T2AreaThreshold, class DiffusionVonNeumann, class FilmThinningRate,
          class FilmRuptureBoundary>
void Foam2DSimulator<Mesh, T1Threshold, T2AreaThreshold, DiffusionVonNeumann, FilmThinningRate,
                     FilmRuptureBoundary>::equilibrate(vertex_handle junction, unsigned const& max_iterations,
                                                       double const& tau) {
  namespace ublas = boost::numeric::ublas;
  using traits_type = decltype(equilibration_detail::bubble_traits_of(std::declval<typename Mesh::face_type const&>()));
  using System = JunctionSystem<Mesh>;
  using matrix_type = typename System::matrix_type;
  using vector_type = typename System::vector_type;

  Mesh& mesh = *m_mesh;
  if (!mesh.is_valid_vertex_handle(junction)) return;
  auto& vertex = mesh.get_vertex(junction);
  if (is_boundary(vertex) || valency(vertex) != 3) return;

  System system(mesh, junction);
  auto const& b = system.m_b;
  int const outer = system.m_outer;

  // The state before the last update, restored when an iteration fails.
  std::array<traits_type, 3> snapshot;
  vector3_type snapshot_coord;
  auto take_snapshot = [&] {
    for (int k = 0; k < 3; ++k) snapshot[k] = static_cast<traits_type const&>(mesh.get_face(b[k]));
    snapshot_coord = vertex.m_coord;
  };
  auto give_up = [&] {
    for (int k = 0; k < 3; ++k) static_cast<traits_type&>(mesh.get_face(b[k])) = snapshot[k];
    vertex.m_coord = snapshot_coord;
    if (m_verbose) (*m_log) << "some condition went wrong during equilibration -> aborted!" << std::endl;
  };
  take_snapshot();

  double const target_angle = two_pi_over_three();
  double const tau_used = tau > 0.0 ? tau : m_tau;

  // Whether a film of the three bubbles is bent next to a half circle, on
  // either side of it.
  auto near_half_circle = [&] {
    return !equilibration_detail::for_each_film(mesh, b, outer, [](double bend, double, halfedge_handle) {
      return std::abs(bend - 1.0) >= 1.0 - equilibration_detail::near_half_circle;
    });
  };

  double prev_err = 2.0 * M_PI;
  for (unsigned k = 0; max_iterations == 0 || k < max_iterations; ++k) {
    vector_type F(5);
    if (!system.residual(F, target_angle)) return give_up();
    if (System::converged(F)) {
      if (m_verbose) {
        (*m_log) << "Absolute convergence obtained in " << k + 1
                  << " iteration(s) for junction [handleID]: " << junction << std::endl;
      }
      return;
    }
    // An iteration whose angle error grows is undone: the junction oscillates.
    double const err = std::max(std::abs(F(3)), std::abs(F(4)));
    if (prev_err < err) {
      if (m_verbose) {
        (*m_log) << "Fluxating convergency observed for junction [handleID]: " << junction << " during iteration "
                  << k + 1 << std::endl;
      }
      return give_up();
    }
    prev_err = err;

    matrix_type J(5, 5);
    switch (m_analytic_jacobian ? system.analytic_jacobian(J)
                                : system.difference_jacobian(J, m_verbose ? m_log : nullptr)) {
      case System::Jacobian::settled:
        break;
      case System::Jacobian::not_finite:
        return give_up();
      case System::Jacobian::ill_posed:
        // Next to a half circle a bubble's area answers to its pressure ever
        // more steeply, and past it not at all, so the differences never
        // settle there. The last of them is the steep slope on the circle's
        // side, and the line search still guards the step; refused, the
        // junction would stay where it is for good.
        if (near_half_circle()) break;
        if (m_verbose) {
          (*m_log) << "system matrix is ill posed for junction [handleID]: " << junction << " (during iteration "
                    << k + 1 << ")" << std::endl;
        }
        return give_up();
    }
    if (m_verbose) {
      (*m_log) << std::setprecision(5);
      for (int i = 0; i < 5; ++i) {
        (*m_log) << "[ ";
        for (int j = 0; j < 5; ++j) (*m_log) << std::setw(11) << J(i, j);
        (*m_log) << " ]   [ " << std::setw(11) << F(i) << " ]" << std::endl;
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
      (*m_log) << "x  := [ ";
      for (int i = 0; i < 5; ++i) (*m_log) << x(i) << " ";
      (*m_log) << "]" << std::endl << "b' := [ ";
      for (int i = 0; i < 5; ++i) (*m_log) << bx(i) << " ";
      (*m_log) << "]" << std::endl;
    }

    double tau_k = line_search(system, x, tau_used);
    // Refused, with a film next to a half circle bulging out of a bubble
    // short of its target: more pressure cannot grow that bubble, a longer
    // film can, so the move alone is tried.
    if (tau_k == 0.0 && std::any_of(m_bends.begin(), m_bends.end(), [](auto const& b) { return b.second >= 0.0; })) {
      for (int i = 0; i < 3; ++i) x(i) = 0.0;
      tau_k = line_search(system, x, tau_used);
    }
    if (m_verbose) {
      (*m_log) << "x' := [ ";
      for (int i = 0; i < 5; ++i) (*m_log) << tau_k * x(i) << " ";
      (*m_log) << "]" << std::endl << "tau := " << tau_k << std::endl;
    }

    // An update that overflows is refused like a non-finite step. One that
    // changes nothing ends the call: the next iteration would repeat it
    // exactly, for ever when there is no cap.
    vector3_type const position = vertex.m_coord;
    double pressure[3];
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
      double const p = mesh.get_face(b[i]).m_pressure;
      pressure[i] = i == outer ? p : p + tau_k * x(i);
      changed = changed || pressure[i] != p;
    }
    vector3_type const moved = position + tau_k * vector3_type(x(3), x(4), 0.0);
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
