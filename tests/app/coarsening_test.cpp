#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/application.h"
#include "app/console_capture.h"
#include "foam/random_source.h"
#include "polymesh/mesh_builders.h"
#include "render/foam_renderer.h"

namespace {

using namespace froth_test;

/// A 200-site foam run by the idle step, as with space in the window, until it
/// stops by itself. After every step the mesh is valid and the statistics show
/// no topology warning.
void coarsen(unsigned seed) {
  Quarvel::kordal::seed_random_generator(seed);
  Application app;
  start(app);
  press(app, "r ");
  ASSERT_TRUE(app.m_idle);
  unsigned steps = 0;
  std::uint32_t t2_total = 0;
  std::string out;
  {
    ConsoleCapture console;
    while (app.m_idle) {
      app.run_step();
      ++steps;
      ASSERT_TRUE(MeshIsValid(app.m_foam)) << "seed " << seed << ", step " << steps;
      ASSERT_FALSE(Quarvel::render::topology_broken(app.m_statistics))
          << "seed " << seed << ", step " << steps << ": " << app.m_statistics.m_cell_count << " cells, "
          << app.m_statistics.m_vertex_count << " vertices";
      // The totals only grow between resets.
      ASSERT_GE(app.m_statistics.m_t2_total, t2_total);
      t2_total = app.m_statistics.m_t2_total;
      ASSERT_LT(steps, 200000u) << "seed " << seed << ": no stop";
    }
    out = console.take();
  }
  EXPECT_EQ(out, "forced simulation stopped - too few bubbles!\n\nsimulation stopped!\n");
  EXPECT_LE(app.m_foam.face_size(), 5u);
  EXPECT_GT(t2_total, 150u);
  std::cout << "seed " << seed << ": stopped after " << steps << " steps, " << t2_total << " T2 events, "
            << app.m_statistics.m_t1_total << " T1 events\n";
  Quarvel::kordal::forget_random_seed();
}

TEST(Coarsening, TwoHundredSiteFoamRunsUntilItStopsByItself) { coarsen(11); }

}  // namespace
