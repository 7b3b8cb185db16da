#include "solver/equilibrium_solver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

#include "foam/foam_geometry.h"
#include "foam/t1_process.h"

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

// The simulation loop's T1 rules for a film, the T2 threshold's included: a
// film beside a bubble due for a T2 is left to that event.
bool may_swap(FoamMesh const& foam, polymesh::edge_handle film, SolverSettings const& settings) {
  if (!foam.is_valid_edge_handle(film)) return false;
  if (!kordal::has_threefold_ends(foam, film) || !kordal::is_t1_candidate(foam, film, settings.m_t1_threshold) ||
      !kordal::can_rewire_t1(foam, film)) {
    return false;
  }
  auto const& e = foam.get_edge(film);
  for (polymesh::halfedge_handle h : {e.m_halfedge0, e.m_halfedge1}) {
    auto const& f = foam.get_face(foam.get_halfedge(h).m_face);
    if (!f.m_is_outer && settings.m_t2_threshold >= f.m_target_area) return false;
  }
  return true;
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

SolverResult solve_equilibrium(FoamMesh& foam, SolverSettings const& settings) {
  auto const start = Clock::now();
  SolverResult result;
  auto finish = [&](SolverOutcome outcome, std::string const& reason) {
    result.m_outcome = outcome;
    result.m_converged = outcome == SolverOutcome::converged;
    result.m_reason = reason;
    result.m_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  };

  FoamSystem system;
  std::string error;
  if (!system.gather(foam, error)) return finish(SolverOutcome::bad_input, error);
  if (!system.evaluate()) return finish(SolverOutcome::bad_input, "an area or angle of the foam is not finite");

  // The foam is touched only to swap films; before the first swap it is
  // copied, so that a failure can put it back.
  std::unique_ptr<FoamMesh> original;
  auto fail = [&](SolverOutcome outcome, std::string const& reason) {
    if (getenv("KEEPFAIL")) { system.scatter(foam); return finish(outcome, reason); }
    if (original) foam = *original;
    return finish(outcome, reason);
  };

  SparseMatrix J;
  SparseFactorisation lu(settings.m_factorisation);
  Eigen::VectorXd f, dx;
  std::vector<polymesh::edge_handle> short_films;
  double lambda = 1.0;
  for (;;) {
    double const norm = system.residual_norm();
    result.m_residual_history.push_back(norm);
    result.m_area_residual = system.largest_area_residual();
    result.m_angle_residual = system.largest_angle_residual();
    if (settings.m_log) {
      *settings.m_log << "iteration " << result.m_iterations << ": residual " << format("%.3e", norm) << ", area "
                      << format("%.3e", result.m_area_residual) << ", angle "
                      << format("%.3e", result.m_angle_residual) << '\n';
    }
    if (result.m_area_residual <= settings.m_area_tolerance && result.m_angle_residual <= settings.m_angle_tolerance) {
      break;
    }
    if (result.m_iterations >= settings.m_max_iterations) {
      return fail(SolverOutcome::iteration_cap,
                  "not in equilibrium after " + std::to_string(result.m_iterations) + " iterations");
    }

    system.jacobian(J);
    if (lambda > 0.0) system.damp(J, lambda);
    if (!lu.factorise(J, system.pattern_changed())) {
      return fail(SolverOutcome::singular_system,
                  "the system is singular at iteration " + std::to_string(result.m_iterations));
    }
    system.system_residual(f);
    if (!lu.solve(-f, dx)) {
      return fail(SolverOutcome::singular_system,
                  "the Newton step is not finite at iteration " + std::to_string(result.m_iterations));
    }

    // Backtracking: the whole step must keep the guards and lower the norm.
    system.save_state();
    system.record_guards();
    double alpha = 1.0;
    double const smallest = 1.0 / 1024.0;
    bool accepted = false;
    for (; alpha >= smallest; alpha *= 0.5) {
      system.step_from_saved(dx, alpha);
      bool const e = system.evaluate(), g = e && system.guards_hold();
      if (settings.m_log && getenv("LSDEBUG")) *settings.m_log << "    alpha " << alpha << " finite " << e << " guards " << g << " norm " << (e ? system.residual_norm() : -1.0) << "\n";
      if (e && g && system.residual_norm() <= (1.0 - 1e-4 * alpha) * norm) {
        accepted = true;
        break;
      }
    }
    ++result.m_iterations;
    if (!accepted) {
      system.restore_state();
      system.evaluate();
      if (lambda > 0.0 && lambda < 1e6) {
        lambda *= 10.0;
        continue;
      }
      if (lambda == 0.0) {
        lambda = 1e-3;
        continue;
      }
      return fail(SolverOutcome::no_progress, "no step lowers the residual (" + format("%.3e", norm) +
                                                  ") at iteration " + std::to_string(result.m_iterations));
    }
    // Pseudo-time grows as the residual falls (switched evolution
    // relaxation); once the damping is negligible, plain Newton steps.
    if (lambda > 0.0) {
      double const ratio = system.residual_norm() / norm;
      static double const shrink = getenv("SHRINK") ? atof(getenv("SHRINK")) : 0.25;
      lambda *= alpha < 1.0 ? 2.0 : std::min(ratio, shrink);
      if (lambda < 1e-8) lambda = 0.0;
    }
    if (settings.m_log) *settings.m_log << "  step " << format("%g", alpha) << " damping " << lambda << '\n';

    if (settings.m_t1_threshold > 0.0) {
      system.short_films(settings.m_t1_threshold, short_films);
      if (!short_films.empty()) {
        if (!original) original.reset(new FoamMesh(foam));
        system.scatter(foam);
        unsigned swapped = 0;
        for (polymesh::edge_handle film : short_films) {
          if (!may_swap(foam, film, settings)) continue;
          polymesh::edge_handle const created = kordal::rewire_t1(foam, film);
          foam.get_edge(created).m_created_by_t1 = true;
          ++swapped;
        }
        if (swapped > 0) {
          result.m_t1_count += swapped;
          if (settings.m_log) *settings.m_log << "  " << swapped << " T1\n";
          if (!system.gather(foam, error)) return fail(SolverOutcome::bad_input, "after a T1: " + error);
          if (!system.evaluate()) return fail(SolverOutcome::no_progress, "a T1 left a non-finite value");
        }
      }
    }
  }

  system.scatter(foam);
  EquilibriumResiduals const measured = measure_equilibrium(foam);
  result.m_area_residual = measured.m_area;
  result.m_angle_residual = measured.m_angle;
  return finish(SolverOutcome::converged, "converged in " + std::to_string(result.m_iterations) + " iterations");
}

}  // namespace solver
}  // namespace Quarvel
