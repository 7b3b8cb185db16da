// The global equilibrium solver: its Jacobian against central differences,
// Newton's quadratic convergence, equilibria checked by Plateau's laws
// measured independently, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foam/cluster_builders.h"
#include "foam/dual_foam.h"
#include "foam/foam_builders.h"
#include "foam/plateau_check.h"
#include "solver/equilibrium_solver.h"
#include "solver/foam_system.h"

namespace {

using namespace Quarvel;
using froth_test::FoamMesh;
using solver::FoamSystem;

solver::SolverSettings window_settings() {
  solver::SolverSettings s;
  s.m_t1_threshold = s.m_t2_threshold = 0.05;
  return s;
}

/// The bend of the most bent film (1: a half circle).
double most_bend(FoamMesh const& foam) {
  double most = 0.0;
  for (auto const& h : foam.halfedges()) {
    auto const& P = foam.get_vertex(foam.origin(h.m_self)).m_coord;
    auto const& Q = foam.get_vertex(h.m_destination).m_coord;
    most = std::max(most, kordal::film_bend(P, Q, foam.get_face(h.m_face).m_pressure,
                                            kordal::pressure_across_border(foam, h.m_self), foam.m_film_tension));
  }
  return most;
}

/// Random pressures around the outer one and junctions moved by up to
/// `shake`; the pressure differences are then scaled until the most bent
/// film has bend `bend` (0: pressures left at 1, every film straight).
void perturb(FoamMesh& foam, unsigned seed, double shake, double bend) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (auto& v : foam.vertices()) {
    v.m_coord.x += shake * unit(random);
    v.m_coord.y += shake * unit(random);
  }
  if (bend == 0.0) return;
  for (auto& f : foam.faces()) {
    if (!f.m_is_outer) f.m_pressure = 1.0 + 0.01 * unit(random);
  }
  double const most = most_bend(foam), outer = foam.get_face(kordal::find_outer_bubble(foam)).m_pressure;
  for (auto& f : foam.faces()) {
    if (!f.m_is_outer) f.m_pressure = outer + (f.m_pressure - outer) * bend / most;
  }
}

TEST(FoamSystem, JacobianAgreesWithCentralDifferences) {
  struct Case {
    unsigned seed;
    int sites;
    double bend;  // of the most bent film: straight films, far from and near a half circle
  };
  for (Case const c : {Case{4, 40, 0.0}, Case{1, 60, 0.3}, Case{2, 120, 0.97}, Case{3, 60, 0.995}}) {
    SCOPED_TRACE("seed " + std::to_string(c.seed) + ", bend " + std::to_string(c.bend));
    FoamMesh foam = froth_test::make_generated_foam(c.seed, c.sites);
    perturb(foam, c.seed, 0.3, c.bend);
    FoamSystem system;
    std::string error;
    ASSERT_TRUE(system.gather(foam, error)) << error;
    ASSERT_TRUE(system.evaluate());
    solver::SparseMatrix J;
    system.jacobian(J);
    Eigen::MatrixXd const analytic(J);
    Eigen::Index const n = analytic.cols();
    system.save_state();
    Eigen::VectorXd e = Eigen::VectorXd::Zero(n), numeric(n), f;
    auto residual_at = [&](double t) {
      system.step_from_saved(e, t);
      EXPECT_TRUE(system.evaluate());
      system.system_residual(f);
      return f;
    };
    // Fourth order, so that the films near a half circle, whose derivatives
    // grow like 1 / cos, still come out to 1e-6.
    double const h = 1e-5;
    for (Eigen::Index k = 0; k < n; ++k) {
      e[k] = 1.0;
      numeric = (8.0 * (residual_at(h) - residual_at(-h)) - (residual_at(2 * h) - residual_at(-2 * h))) / (12.0 * h);
      e[k] = 0.0;
      double const size = numeric.lpNorm<Eigen::Infinity>();
      ASSERT_LE((analytic.col(k) - numeric).lpNorm<Eigen::Infinity>(), 1e-6 * size) << "column " << k;
    }
  }
}

// Measured by plateau_check.h, which shares no code with the solver: every
// area at its target, and at every junction the unit tangents of arcs of the
// Young-Laplace radius 2 gamma / |dp| sum to zero; every film is less than a
// half circle, the range where film_arc gives that radius.
TEST(EquilibriumSolver, EquilibriumObeysPlateauLawsMeasuredOnItsOwnAndIsReachedQuadratically) {
  for (unsigned seed : {2u, 5u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    FoamMesh foam = froth_test::make_generated_foam(seed, 80);
    solver::SolverResult const r = solver::solve_equilibrium(foam, window_settings());
    ASSERT_TRUE(r.m_converged) << r.m_reason;
    EXPECT_TRUE(foam.is_valid());
    EXPECT_LE(std::max(r.m_area_residual, r.m_angle_residual), 1e-10);
    froth_test::PlateauResiduals const p = froth_test::plateau_residuals(foam);
    EXPECT_LT(p.m_area, 5e-10);  // 1e-9 of the smallest target (0.4) and 1e-10
    EXPECT_LT(p.m_tangent, 1e-9);
    EXPECT_LT(most_bend(foam), 1.0);

    // Solved again, the foam is exact already: no iteration, no change.
    std::string const before = froth_test::to_text(foam);
    solver::SolverResult const again = solver::solve_equilibrium(foam, window_settings());
    EXPECT_TRUE(again.m_converged);
    EXPECT_EQ(0u, again.m_iterations);
    EXPECT_EQ(before, froth_test::to_text(foam));

    // Moved far from the origin, it is as exact: no digits are lost there.
    FoamMesh far = foam;
    for (auto& v : far.vertices()) v.m_coord.x += 1e4, v.m_coord.y -= 1e4;
    ASSERT_TRUE(solver::solve_equilibrium(far, window_settings()).m_converged);
    EXPECT_LT(froth_test::plateau_residuals(far).m_area, 5e-10);

    // Shaken a little, it converges quadratically: each residual is at most a
    // small multiple of the square of the one before, until rounding takes over.
    perturb(foam, 9, 0.02, 0.0);
    solver::SolverResult const near = solver::solve_equilibrium(foam, window_settings());
    ASSERT_TRUE(near.m_converged) << near.m_reason;
    std::vector<double> const& h = near.m_residual_history;
    ASSERT_GE(h.size(), 3u);
    int squared = 0;
    for (std::size_t k = 0; k + 1 < h.size(); ++k) {
      if (h[k] > 1e-2 || h[k + 1] < 1e-12) continue;
      EXPECT_LE(h[k + 1], 10.0 * h[k] * h[k]) << "iteration " << k;
      ++squared;
    }
    EXPECT_GE(squared, 2);
  }
}

TEST(EquilibriumSolver, BadInputLeavesTheFoamUnchanged) {
  auto triangle = [](FoamMesh& foam, bool pair) {
    foam.m_film_tension = 0.25;
    auto a = foam.add_vertex(kordal::vector3_type(0, 0, 0)), b = foam.add_vertex(kordal::vector3_type(0, 1, 0));
    auto c = foam.add_vertex(kordal::vector3_type(1, 0, 0));
    foam.add_face(std::vector<FoamMesh::vertex_handle>{a, b, c});
    if (pair) foam.add_face(std::vector<FoamMesh::vertex_handle>{b, foam.add_vertex(kordal::vector3_type(1, 1, 0)), c});
    kordal::close_open_boundary(foam, 1.0);
    for (auto& f : foam.faces()) f.m_pressure = 1.0, f.m_target_area = f.m_is_outer ? 0.0 : 0.5;
  };
  struct Case {
    char const* name;
    std::function<void(FoamMesh&)> make;
    char const* message;
  };
  Case const cases[] = {
      {"empty", [](FoamMesh&) {}, "empty"},
      {"no outer bubble", [](FoamMesh& f) { f = froth_test::make_generated_foam(1, 40, false); }, "no outer bubble"},
      {"single bubble", [&](FoamMesh& f) { triangle(f, false); }, "single bubble"},
      {"two bubbles, corners of two films", [&](FoamMesh& f) { triangle(f, true); }, "joins 2 films"},
      {"no tension",
       [](FoamMesh& f) {
         f = froth_test::make_generated_foam(1, 40);
         f.m_film_tension = 0.0;
       },
       "tension"},
      {"non-finite pressure",
       [](FoamMesh& f) {
         f = froth_test::make_generated_foam(1, 40);
         f.faces().front().m_pressure = std::nan("");
       },
       "non-finite"},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.name);
    FoamMesh foam;
    c.make(foam);
    std::string const before = froth_test::to_text(foam);
    solver::SolverResult const r = solver::solve_equilibrium(foam, window_settings());
    EXPECT_FALSE(r.m_converged);
    EXPECT_EQ(solver::SolverOutcome::bad_input, r.m_outcome);
    EXPECT_NE(std::string::npos, r.m_reason.find(c.message)) << r.m_reason;
    EXPECT_EQ(before, froth_test::to_text(foam));
  }

  // A cap on the iterations is a failure too: the foam is left as it was.
  FoamMesh foam = froth_test::make_generated_foam(2, 80);
  std::string const before = froth_test::to_text(foam);
  solver::SolverSettings capped = window_settings();
  capped.m_max_iterations = 2;
  capped.m_relaxation_rounds = 0;
  solver::SolverResult const r = solver::solve_equilibrium(foam, capped);
  EXPECT_EQ(solver::SolverOutcome::iteration_cap, r.m_outcome);
  EXPECT_EQ(before, froth_test::to_text(foam));

  // Late in a coarsening at equilibrium: a large border bubble's film to the
  // outside is a half circle, and no arc of the film model balances it. The
  // failure says which film, and the foam is left as it was.
  FoamMesh capped_film = froth_test::load_data_foam("seed1_quasi_static_half_circle.foam");
  std::string const loaded = froth_test::to_text(capped_film);
  solver::SolverResult const half = solver::solve_equilibrium(capped_film, window_settings());
  EXPECT_EQ(solver::SolverOutcome::no_progress, half.m_outcome);
  EXPECT_NE(std::string::npos, half.m_reason.find("is a half circle")) << half.m_reason;
  EXPECT_EQ(loaded, froth_test::to_text(capped_film));
}

}  // namespace
