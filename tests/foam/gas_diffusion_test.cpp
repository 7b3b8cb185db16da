// Von Neumann diffusion: what is left alone, and the single-junction form.
// The rule itself, target += (n - 6) k on every enclosed
// bubble, is checked on a whole foam by VonNeumann in coarsening_test.

#include "foam/cluster_builders.h"
#include "foam/coarsening_harness.h"
#include "test_helpers.h"

namespace {

using namespace froth_test;
using namespace Quarvel::kordal;

double const k = 0.25 * 0.1 * 2.0 * M_PI / 3.0;

// Without permeability nothing changes, not even the coefficient; bubbles on
// an open border keep their targets.
TEST(Diffusion, DisabledOrOnAnOpenBorderChangesNothing) {
  FoamMesh foam;
  RingCluster c = make_ring_cluster(foam, 5);
  FoamSimulator sim(&foam);
  configure_like_the_window(sim);
  ASSERT_TRUE(sim.diffuse());
  double const coefficient = sim.m_von_neumann_coefficient, centre = foam.get_face(c.centre).m_target_area;
  sim.m_permeability = 0.0;
  sim.m_film_tension = 1.0;
  EXPECT_FALSE(sim.diffuse());
  EXPECT_FALSE(sim.diffuse_junction(c.inner[0]));
  EXPECT_EQ(sim.m_von_neumann_coefficient, coefficient);
  EXPECT_EQ(foam.get_face(c.centre).m_target_area, centre);

  FoamMesh open = make_generated_foam(4, 80, false);
  FoamSimulator open_sim(&open);
  configure_like_the_window(open_sim);
  std::vector<double> before;
  for (auto const& f : open.faces()) before.push_back(f.m_target_area);
  ASSERT_TRUE(open_sim.diffuse());
  std::size_t i = 0, changed = 0;
  for (auto const& f : open.faces()) {
    EXPECT_TRUE(is_enclosed_bubble(open, f.m_self) || f.m_target_area == before[i]) << "bubble " << f.m_self;
    changed += is_enclosed_bubble(open, f.m_self) && film_count(f) != 6;
    ++i;
  }
  EXPECT_GT(changed, 0u);
}

// The rim junction's diffusion changes its two ring bubbles by (4 - 6) k
// each, not the outer bubble nor any other; silently, unless verbose.
TEST(Diffusion, OneJunctionChangesItsOwnBubblesOnly) {
  FoamMesh foam;
  RingCluster c = make_ring_cluster(foam, 5);
  FoamSimulator sim(&foam);
  configure_like_the_window(sim);
  double const ring = foam.get_face(c.ring[0]).m_target_area;
  for (bool verbose : {false, true}) {
    ConsoleCapture console;
    sim.m_verbose = verbose;
    EXPECT_TRUE(sim.diffuse_junction(c.rim[0]));
    EXPECT_EQ(console.take().empty(), !verbose);
  }
  EXPECT_DOUBLE_EQ(foam.get_face(c.ring[0]).m_target_area, ring - 4 * k);
  EXPECT_DOUBLE_EQ(foam.get_face(c.ring[4]).m_target_area, ring - 4 * k);
  EXPECT_DOUBLE_EQ(foam.get_face(c.ring[2]).m_target_area, ring);
  EXPECT_EQ(foam.get_face(c.outer).m_target_area, 0.0);
}

}  // namespace
