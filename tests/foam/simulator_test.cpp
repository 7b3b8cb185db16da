// The simulator object: its parameters, policies and the calling form that
// its per-junction operations share.

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <type_traits>

#include "cluster_builders.h"
#include "foam/foam2d_simulator.h"

namespace {

using namespace Quarvel::kordal;

static_assert(std::is_same<FoamSimulator, Foam2DSimulator<FoamMesh, T1Threshold, T2AreaThreshold, DiffusionVonNeumann,
                                                          FilmThinningRate, FilmRuptureBoundary>>::value,
              "the application's simulator is the one instantiation over the foam mesh");
static_assert(std::is_empty<T1Threshold>::value && std::is_empty<T2AreaThreshold>::value &&
                  std::is_empty<DiffusionVonNeumann>::value && std::is_empty<FilmThinningRate>::value &&
                  std::is_empty<FilmRuptureBoundary>::value,
              "policies carry no state");
static_assert(std::has_virtual_destructor<FoamSimulator>::value, "the simulator has a virtual destructor");

TEST(Simulator, ConstructionValues) {
  FoamMesh foam;
  FoamSimulator const sim(&foam);
  EXPECT_EQ(sim.m_mesh, &foam);
  EXPECT_EQ(sim.m_film_tension, 0.0);
  EXPECT_EQ(sim.m_permeability, 0.0);
  EXPECT_EQ(sim.permeability(), 0.0);
  EXPECT_EQ(sim.m_max_iterations, 10u);
  EXPECT_EQ(sim.m_tau, 0.1);
  EXPECT_FALSE(sim.m_verbose);
  EXPECT_EQ(sim.m_t1_threshold, 0.0);
  EXPECT_EQ(sim.m_t1_count, 0u);
  EXPECT_EQ(sim.m_t2_threshold, 0.0);
  EXPECT_EQ(sim.m_t2_count, 0u);
  EXPECT_EQ(sim.m_von_neumann_coefficient, 0.0);
}

TEST(Simulator, PermeabilityReadsTheMember) {
  FoamMesh foam;
  FoamSimulator sim(&foam);
  sim.m_permeability = 0.1;
  sim.m_permeability += 0.02;
  sim.m_permeability += 0.02;
  EXPECT_NEAR(sim.permeability(), 0.14, 1e-15);
  sim.m_permeability = 0.0;
  EXPECT_EQ(sim.permeability(), 0.0);
}

TEST(Simulator, PlateauAngleIsOneStaticValue) {
  EXPECT_NEAR(FoamSimulator::two_pi_over_three(), 2.0 * M_PI / 3.0, 1e-15);
  EXPECT_EQ(&FoamSimulator::two_pi_over_three(), &FoamSimulator::two_pi_over_three());
}

/// A ring cluster with one centre corner pulled out of equilibrium.
struct Displaced {
  FoamMesh foam;
  froth_test::RingCluster c;
  Displaced() {
    c = froth_test::make_ring_cluster(foam, 6);
    foam.get_vertex(c.inner[1]).m_coord += vector3_type(0.06, 0.04, 0.0);
  }
};

std::string run_verbose(FoamSimulator& sim, FoamMesh::vertex_handle v, unsigned max_iterations, double tau) {
  std::ostringstream out;
  std::streambuf* const old = std::cout.rdbuf(out.rdbuf());
  std::streamsize const precision = std::cout.precision();
  sim.m_verbose = true;
  sim.equilibrate(v, max_iterations, tau);
  sim.m_verbose = false;
  std::cout.rdbuf(old);
  std::cout.precision(precision);
  return out.str();
}

std::size_t count(std::string const& text, std::string const& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SimulatorCallingForm, TauNotAboveZeroMeansTheSimulatorsOwn) {
  Displaced explicit_tau, zero_tau, negative_tau;
  FoamSimulator a(&explicit_tau.foam), b(&zero_tau.foam), c(&negative_tau.foam);
  b.m_tau = c.m_tau = 0.25;
  std::string const ta = run_verbose(a, explicit_tau.c.inner[1], 3, 0.25);
  std::string const tb = run_verbose(b, zero_tau.c.inner[1], 3, 0.0);
  std::string const tc = run_verbose(c, negative_tau.c.inner[1], 3, -1.0);
  EXPECT_EQ(count(ta, "tau := 0.25\n"), 3u);
  EXPECT_EQ(tb, ta);
  EXPECT_EQ(tc, ta);
  // The parameters are only read.
  EXPECT_EQ(b.m_tau, 0.25);
  EXPECT_EQ(b.m_max_iterations, 10u);
}

TEST(SimulatorCallingForm, ZeroIterationsMeansNoCap) {
  Displaced capped, uncapped;
  FoamSimulator a(&capped.foam), b(&uncapped.foam);
  std::string const ta = run_verbose(a, capped.c.inner[1], 4, 0.5);
  std::string const tb = run_verbose(b, uncapped.c.inner[1], 0, 0.5);
  EXPECT_EQ(count(ta, "tau := "), 4u);
  EXPECT_EQ(ta.find("Absolute convergence"), std::string::npos);
  EXPECT_GT(count(tb, "tau := "), 4u);
  EXPECT_NE(tb.find("Absolute convergence obtained in " + std::to_string(count(tb, "tau := ") + 1) +
                    " iteration(s) for junction [handleID]: " + std::to_string(uncapped.c.inner[1].get_idx())),
            std::string::npos);
}

}  // namespace
