#include "solver/equilibrium_solver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "foam/foam2d_simulator.h"
#include "foam/foam_geometry.h"
#include "foam/simulation_parameters.h"
#include "foam/t1_process.h"
#include "solver/film_repairs.h"

namespace Quarvel {
namespace solver {

namespace {

using kordal::FoamMesh;
using Clock = std::chrono::steady_clock;

std::string format(char const* fmt, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, fmt, v);
  return buffer;
}

}  // namespace

char const* outcome_name(SolverOutcome outcome) {
  switch (outcome) {
    case SolverOutcome::converged:
      return "converged";
    case SolverOutcome::bad_input:
      return "bad input";
    case SolverOutcome::no_progress:
      return "no progress";
    case SolverOutcome::singular_system:
      return "singular system";
    case SolverOutcome::iteration_cap:
      return "iteration cap";
  }
  return "?";
}

EquilibriumResiduals measure_equilibrium(FoamMesh const& foam) {
  EquilibriumResiduals r;
  double sum = 0.0;
  std::size_t n = 0;
  for (auto const& f : foam.faces()) {
    if (!f.m_is_outer) sum += std::max(0.0, f.m_target_area), ++n;
  }
  double const tenth = n > 0 ? sum / double(n) / 10.0 : 0.0;
  for (auto const& f : foam.faces()) {
    if (f.m_is_outer) continue;
    double const target = std::max(0.0, f.m_target_area);
    r.m_area = std::max(r.m_area, std::abs(kordal::compute_area(f) - target) / std::max(target, tenth));
  }
  double const plateau = 2.0 * M_PI / 3.0;
  for (auto const& v : foam.vertices()) {
    if (kordal::is_boundary(v)) continue;
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      r.m_angle = std::max(r.m_angle, std::abs(kordal::junction_angle(foam.get_face(c->m_face), v) - plateau));
    }
  }
  return r;
}

namespace {

constexpr double settle_angle = 0.2;  // radians: a foam this far off is settled before Newton
// Radians: a junction this far off is relaxed, with a few rings around it.
// Where Newton stalled, only the junctions that block its steps are (they
// are far off, the rest has moved on), at first; then more.
constexpr double settle_troubled_angle = 0.05;
constexpr double stalled_troubled_angle[2] = {1.0, 0.3};
constexpr unsigned troubled_rings = 3;
// Where a solve ends with a film at a half circle, the bend of the film
// model's longest arc, that film is named: its bubble's equilibrium may need
// a longer arc, which the films do not have.
std::string half_circle_film(FoamMesh const& foam) {
  for (auto const& e : foam.edges()) {
    auto const& h0 = foam.get_halfedge(e.m_halfedge0);
    auto const& h1 = foam.get_halfedge(e.m_halfedge1);
    if (h0.m_face.is_null() || h1.m_face.is_null()) continue;
    auto const& P = foam.get_vertex(h1.m_destination).m_coord;
    auto const& Q = foam.get_vertex(h0.m_destination).m_coord;
    double const bend = kordal::film_bend(P, Q, foam.get_face(h0.m_face).m_pressure,
                                          foam.get_face(h1.m_face).m_pressure, foam.m_film_tension);
    if (!(bend >= 1.0 - 1e-6)) continue;
    auto point = [](auto const& r) { return "(" + format("%.4g", r.x) + ", " + format("%.4g", r.y) + ")"; };
    return "; the film from " + point(P) + " to " + point(Q) +
           " is a half circle, the most a film may bend; balancing the foam may need it bent further";
  }
  return "";
}

constexpr unsigned swap_again_after = 3;  // iterations before a film made by a swap may swap back
constexpr unsigned max_untangles = 10;  // rounds of such swaps in one Newton run
// Damped this much, steps that over this many iterations take less than
// stall_gain off the norm are a stall: something local blocks them, and the
// junction sweeps move it on sooner than more damping would.
constexpr double stall_damping = 64.0;
constexpr unsigned stall_iterations = 3;
constexpr double stall_gain = 0.02;
// Halvings of a step where it fails; then rounds that hold the places that
// still fail where they are, so that one spot that no step passes (a film at
// a half circle that every step would bend further, say) does not block the
// step everywhere. The junction sweeps see to such a spot when the rest has
// moved on.
constexpr unsigned local_rounds = 8;
constexpr unsigned hold_rounds = 3;
constexpr double held_gain = 0.01;

// The simulation loop's events and equilibration as the window runs them,
// with the solve's thresholds.
void use_window_rules(kordal::FoamSimulator& sim, FoamMesh const& foam, SolverSettings const& settings) {
  kordal::SimulationParameters window;
  window.m_film_tension = foam.m_film_tension;
  window.m_t1_threshold = settings.m_t1_threshold;
  window.m_t2_threshold = settings.m_t2_threshold;
  kordal::apply_parameters(window, sim);
  // The same equations as the window's sweeps, at a fraction of the cost.
  sim.m_analytic_jacobian = true;
}

// One Newton run on the foam as it stands. Swaps films as it goes; the foam
// is left at the last accepted state, converged or not.
SolverOutcome newton(FoamMesh& foam, SolverSettings const& settings, SolverResult& result, std::string& reason) {
  FoamSystem system;
  if (!system.gather(foam, reason)) return SolverOutcome::bad_input;
  if (!system.evaluate()) {
    reason = "an area or angle of the foam is not finite";
    return SolverOutcome::bad_input;
  }
  SparseMatrix J, damped;
  SparseFactorisation lu(settings.m_factorisation);
  Eigen::VectorXd f, dx;
  std::vector<polymesh::edge_handle> short_films;
  std::vector<std::pair<polymesh::edge_handle, unsigned>> swapped_films;  // made by a swap, and when
  // Far from equilibrium the junctions first creep in pseudo-time (a damping
  // of their rows); the damping falls as the residual does, and Newton's own
  // steps take over. Near it, Newton's steps from the start.
  double lambda = system.largest_angle_residual() > 0.2 ? 10.0 : 0.0;
  unsigned iterations = 0;
  unsigned untangles = 0;
  std::size_t const first_norm = result.m_residual_history.size();  // this run's first
  std::vector<polymesh::vertex_handle> tangled;
  // After swaps in the foam: counts them and gathers the system anew;
  // false, with `failed` set, when that leaves nothing to solve.
  SolverOutcome failed = SolverOutcome::no_progress;
  auto regather = [&](unsigned swapped, char const* what) {
    result.m_t1_count += swapped;
    if (settings.m_log) *settings.m_log << "  " << swapped << what;
    if (!system.gather(foam, reason)) {
      failed = SolverOutcome::bad_input;
      return false;
    }
    if (!system.evaluate()) {
      reason = "a T1 left a non-finite value";
      failed = SolverOutcome::no_progress;
      return false;
    }
    return true;
  };
  // Swaps the films that got as short as the T1 threshold, by the T1
  // event's rules, at the state scattered into the foam; returns how many.
  auto swap_short_films = [&]() -> unsigned {
    if (settings.m_t1_threshold <= 0.0) return 0;
    // A film that a swap made may swap back a few iterations later: the
    // steps can pass through a topology that the equilibrium does not keep.
    for (auto const& made : swapped_films) {
      if (made.second + swap_again_after == result.m_iterations && foam.is_valid_edge_handle(made.first)) {
        foam.get_edge(made.first).m_created_by_t1 = false;
      }
    }
    system.short_films(settings.m_t1_threshold, short_films);
    unsigned swapped = 0;
    for (polymesh::edge_handle film : short_films) {
      if (!may_swap(foam, film, settings)) continue;
      polymesh::edge_handle const created = kordal::rewire_t1(foam, film);
      trade_ends_if_better(foam, created);
      swapped_films.emplace_back(created, result.m_iterations);
      ++swapped;
    }
    if (swapped > 0) {
      // As the simulation loop finishes a T1: the new film's junctions are
      // equilibrated on their own first, so that the next step starts
      // near balance there instead of a radian off.
      kordal::FoamSimulator sim(&foam);
      use_window_rules(sim, foam, settings);
      for (std::size_t k = swapped_films.size() - swapped; k < swapped_films.size(); ++k) {
        for (int pass = 0; pass < 2; ++pass) {
          sim.finish_forced_t1(swapped_films[k].first, sim.m_max_iterations, sim.m_tau);
        }
      }
    }
    return swapped;
  };
  for (;;) {
    double const norm = system.residual_norm();
    result.m_residual_history.push_back(norm);
    result.m_area_residual = system.largest_area_residual();
    result.m_angle_residual = system.largest_angle_residual();
    if (settings.m_log) {
      *settings.m_log << "iteration " << result.m_iterations << ": residual " << format("%.3e", norm) << ", area "
                      << format("%.3e", result.m_area_residual) << ", angle " << format("%.3e", result.m_angle_residual)
                      << ", damping " << format("%.3g", lambda) << '\n';
    }
    if (result.m_area_residual <= settings.m_area_tolerance && result.m_angle_residual <= settings.m_angle_tolerance) {
      system.scatter(foam);
      return SolverOutcome::converged;
    }
    if (iterations >= settings.m_max_iterations) {
      reason = "not in equilibrium after " + std::to_string(iterations) + " iterations";
      system.scatter(foam);
      return SolverOutcome::iteration_cap;
    }

    system.jacobian(J);
    system.system_residual(f);
    system.save_state();
    system.record_guards();
    // The damped step first, then the plain Newton step (always a descent
    // direction of the norm), then more damping.
    double const trials[4] = {lambda, 0.0, 10.0 * std::max(lambda, 1.0), 100.0 * std::max(lambda, 1.0)};
    double alpha = 0.0, used = 0.0;
    bool accepted = false;
    bool first = true;
    for (double const trial : trials) {
      if (accepted || (trial == 0.0 && lambda == 0.0 && !first)) continue;
      if (trial == lambda && !first) continue;
      used = trial;
      damped = J;
      if (used > 0.0) system.damp(damped, used);
      bool const analysed = lu.factorise(damped, system.pattern_changed() && first);
      first = false;
      if (!analysed || !lu.solve(-f, dx)) {
        if (used > 0.0) continue;
        reason = "the system is singular at iteration " + std::to_string(result.m_iterations);
        return SolverOutcome::singular_system;
      }
      // The step is shortened where it fails first, place by place; then,
      // if that does not pass, as a whole. Either way it must keep the
      // guards and lower the norm.
      system.begin_local_step();
      for (unsigned round = 0; round < local_rounds + hold_rounds; ++round) {
        system.step_locally(dx);
        if (!system.evaluate()) break;
        bool const holds = system.guards_hold();
        // A step that holds places where they are must take off a share of
        // the norm: one that moves little else leaves the spot to the swaps.
        double const part = system.smallest_step_part();
        double const gain = part > 0.0 ? 1e-4 * part : held_gain;
        if (holds && system.residual_norm() <= (1.0 - gain) * norm) {
          accepted = true;
          alpha = round == 0 ? 1.0 : 0.5;  // shortened anywhere counts as shortened for the damping
          break;
        }
        if (system.shorten_failing_places(round + 1 < local_rounds ? 0.5 : 0.0) == 0) break;
      }
      for (alpha = accepted ? alpha : 0.5; !accepted && alpha >= 1.0 / 1024.0; alpha *= 0.5) {
        system.step_from_saved(dx, alpha);
        if (system.evaluate() && system.guards_hold() && system.residual_norm() <= (1.0 - 1e-4 * alpha) * norm) {
          accepted = true;
          break;
        }
      }
    }
    ++iterations;
    ++result.m_iterations;
    if (!accepted && untangles < max_untangles) {
      // A tangled junction blocks every step: no move of it balances its
      // films. Its short film is swapped, and the creep starts again.
      system.restore_state();
      system.scatter(foam);
      find_tangled(foam, tangled);
      unsigned const swapped = swap_tangled(foam, tangled, settings);
      if (swapped > 0) {
        ++untangles;
        if (!regather(swapped, " T1 of tangled junctions\n")) return failed;
        lambda = std::max(lambda, 10.0);
        continue;
      }
      // A film that the last accepted step left at the threshold, or one
      // whose swap-back wait has passed, may block the steps as well.
      system.evaluate();  // the films as restored
      unsigned const short_swapped = swap_short_films();
      if (short_swapped > 0) {
        ++untangles;
        if (!regather(short_swapped, " T1 of blocking films\n")) return failed;
        continue;
      }
    }
    if (!accepted) {
      system.restore_state();
      system.scatter(foam);
      reason = "no step lowers the residual (" + format("%.3e", norm) + ") at iteration " +
               std::to_string(result.m_iterations);
      return SolverOutcome::no_progress;
    }
    if (used > lambda) {
      lambda = used;
    } else if (lambda > 0.0) {
      lambda *= alpha < 1.0 ? 2.0 : std::min(system.residual_norm() / norm, 0.1);
      if (used == 0.0) lambda *= 0.1;
      if (lambda < 1e-8) lambda = 0.0;
    }
    if (settings.m_log) *settings.m_log << "  step " << format("%g", alpha) << " damped by " << used << '\n';
    auto const& history = result.m_residual_history;
    if (lambda >= stall_damping && history.size() > first_norm + stall_iterations &&
        system.residual_norm() > (1.0 - stall_gain) * history[history.size() - 1 - stall_iterations]) {
      system.scatter(foam);
      reason = "the damped steps stall at " + format("%.3e", system.residual_norm()) + " at iteration " +
               std::to_string(result.m_iterations);
      return SolverOutcome::no_progress;
    }

    system.scatter(foam);
    unsigned const swapped = swap_short_films();
    if (swapped > 0 && !regather(swapped, " T1\n")) return failed;
  }
}

// Junction sweeps of the simulation loop (its T2s, T1s and equilibration,
// with the window's iteration cap and tau) where the foam is out of balance:
// around every junction whose angles are off by more than troubled_angle, a
// few rings wide, or everywhere when that is most of the foam. Settling a
// foam before Newton, it stops where the sweeps would cover most of the foam;
// after a stall, the short film of a tangled junction is swapped first. The
// events are added to the result's counts; returns the number of sweeps made.
unsigned relax(FoamMesh& foam, SolverSettings const& settings, bool settling, double troubled_angle,
               SolverResult& result) {
  unsigned const sweeps = settling ? settings.m_settle_sweeps : settings.m_relaxation_sweeps;
  kordal::FoamSimulator sim(&foam);
  use_window_rules(sim, foam, settings);
  double const plateau = 2.0 * M_PI / 3.0;
  std::vector<polymesh::vertex_handle> junctions, next, tangled;
  std::vector<unsigned char> marked;
  unsigned sweep = 0;
  for (; sweep < sweeps; ++sweep) {
    // Each sweep is a loop of its own: the last one's swaps may be undone.
    for (auto& film : foam.edges()) film.m_created_by_t1 = false;
    junctions.clear();
    tangled.clear();
    marked.assign(foam.kernel().vertex_handle_table().size(), 0);
    for (auto const& v : foam.vertices()) {
      if (kordal::is_boundary(v)) continue;
      bool troubled = false;
      for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
        double const angle = kordal::junction_angle(foam.get_face(c->m_face), v);
        troubled = troubled || std::abs(angle - plateau) > troubled_angle;
        if (angle > M_PI) tangled.push_back(v.m_self);
      }
      if (troubled) marked[v.m_self.get_idx()] = 1, junctions.push_back(v.m_self);
    }
    if (junctions.empty()) break;
    for (unsigned ring = 0; ring < troubled_rings && 2 * junctions.size() < foam.vertex_size(); ++ring) {
      next.clear();
      for (polymesh::vertex_handle v : junctions) {
        for (FoamMesh::const_vertex_halfedge_circulator c(foam, v); c; ++c) {
          if (!marked[c->m_destination.get_idx()])
            marked[c->m_destination.get_idx()] = 1, next.push_back(c->m_destination);
        }
      }
      junctions.insert(junctions.end(), next.begin(), next.end());
    }
    if (2 * junctions.size() >= foam.vertex_size()) {
      if (settling) break;
      junctions.clear();
      for (auto const& v : foam.vertices()) junctions.push_back(v.m_self);
    } else {
      // The foam's own order, as the full sweep visits them.
      std::sort(junctions.begin(), junctions.end(),
                [](polymesh::vertex_handle a, polymesh::vertex_handle b) { return a.get_idx() < b.get_idx(); });
    }
    if (!settling) result.m_t1_count += swap_tangled(foam, tangled, settings);
    for (polymesh::vertex_handle v : junctions) {
      if (!foam.is_valid_vertex_handle(v)) continue;
      if (settings.m_t2_threshold > 0.0 && sim.perform_t2(v, sim.m_max_iterations, sim.m_tau)) continue;
      if (settings.m_t1_threshold > 0.0 && sim.perform_t1(v, sim.m_max_iterations, sim.m_tau)) continue;
      sim.equilibrate(v, sim.m_max_iterations, sim.m_tau);
    }
  }
  // Newton may swap the last sweep's films back, as the next loop would.
  for (auto& film : foam.edges()) film.m_created_by_t1 = false;
  result.m_t1_count += sim.m_t1_count;
  result.m_t2_count += sim.m_t2_count;
  return sweep;
}

// The T2 events due before any solve: a bubble whose target area is at most
// the T2 threshold has no equilibrium of its own to reach (the simulation
// loop removes it on its first visit), so it goes first, with the loop's
// rules, until none is left.
void remove_due_bubbles(FoamMesh& foam, SolverSettings const& settings, SolverResult& result) {
  if (settings.m_t2_threshold <= 0.0) return;
  bool due = false;
  for (auto const& f : foam.faces()) due = due || (!f.m_is_outer && settings.m_t2_threshold >= f.m_target_area);
  if (!due) return;
  kordal::FoamSimulator sim(&foam);
  use_window_rules(sim, foam, settings);
  unsigned const one = 1;
  std::vector<polymesh::vertex_handle> junctions;
  for (int pass = 0; pass < 10; ++pass) {
    unsigned const before = sim.m_t2_count + sim.m_t1_count;
    junctions.clear();
    for (auto const& v : foam.vertices()) junctions.push_back(v.m_self);
    for (polymesh::vertex_handle v : junctions) {
      if (foam.is_valid_vertex_handle(v)) sim.perform_t2(v, one, sim.m_tau);
    }
    if (sim.m_t2_count + sim.m_t1_count == before) break;
  }
  for (auto& film : foam.edges()) film.m_created_by_t1 = false;
  result.m_t1_count += sim.m_t1_count;
  result.m_t2_count += sim.m_t2_count;
}

}  // namespace

SolverResult solve_equilibrium(FoamMesh& foam, SolverSettings const& settings) {
  auto const start = Clock::now();
  SolverResult result;
  {
    // Bad input is told before anything is touched.
    FoamSystem check;
    std::string error;
    if (!check.gather(foam, error)) {
      result.m_outcome = SolverOutcome::bad_input;
      result.m_reason = error;
      result.m_seconds = std::chrono::duration<double>(Clock::now() - start).count();
      return result;
    }
  }
  // The foam is copied first: positions and pressures are written into it
  // for swaps and relaxation, and a failure puts it back.
  FoamMesh const original(foam);
  std::string reason;
  remove_due_bubbles(foam, settings, result);
  draw_out_blocked_films(foam, settings);
  // A foam far from equilibrium (a generated one: straight films, a border
  // that must reshape through swaps) can stall Newton's steps. The junction
  // sweeps of the simulation loop, with its events, move it on from where
  // Newton stalled. A large foam that is far off in places only (after a
  // coarsening step's events, say) is settled there first, as a stalled
  // Newton run costs it more than a few local sweeps; one far off nearly
  // everywhere (as built) is not: sweeps over the whole of it cost more than
  // the Newton iterations they save.
  bool const far = foam.face_size() > settings.m_settle_bubbles && measure_equilibrium(foam).m_angle > settle_angle;
  SolverOutcome outcome = SolverOutcome::no_progress;
  double last_stall = -1.0;
  for (unsigned round = 0;; ++round) {
    if (round > 0 || far) {
      if (round > settings.m_relaxation_rounds) break;
      if (settings.m_log) *settings.m_log << "relaxing: " << (round > 0 ? reason : "far from equilibrium") << '\n';
      // Tangled junctions are swapped only once Newton has stalled: the swaps
      // also reshape foams that Newton would solve as they are.
      double const troubled = round == 0 || round > 2 ? settle_troubled_angle : stalled_troubled_angle[round - 1];
      if (relax(foam, settings, round == 0, troubled, result) > 0) {
        draw_out_blocked_films(foam, settings);
        ++result.m_relaxations;
      }
    }
    outcome = newton(foam, settings, result, reason);
    if (outcome != SolverOutcome::no_progress && outcome != SolverOutcome::iteration_cap) break;
    // Sweeps that lead Newton to where it stalled last time will again.
    double const stalled_at = result.m_residual_history.back();
    if (round > 0 && std::abs(stalled_at - last_stall) <= 1e-9 * stalled_at) break;
    last_stall = stalled_at;
  }
  result.m_outcome = outcome;
  result.m_converged = outcome == SolverOutcome::converged;
  if (result.m_converged) {
    EquilibriumResiduals const measured = measure_equilibrium(foam);
    result.m_area_residual = measured.m_area;
    result.m_angle_residual = measured.m_angle;
    result.m_reason = "converged in " + std::to_string(result.m_iterations) + " iterations";
  } else {
    if (outcome == SolverOutcome::no_progress) reason += half_circle_film(foam);
    // The foam as it was, and with it no event.
    foam = original;
    result.m_t1_count = result.m_t2_count = 0;
    result.m_reason = reason;
  }
  result.m_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

}  // namespace solver
}  // namespace Quarvel
