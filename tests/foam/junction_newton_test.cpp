// The junction Newton iteration next to a film bent almost into a half
// circle, where a bubble's area answers to its pressure ever more steeply.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "cluster_builders.h"
#include "foam/foam2d_simulator.h"
#include "foam/foam_geometry.h"
#include "foam/simulation_parameters.h"
#include "polymesh/mesh_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;

// A border bubble of a coarsened foam, far above its target, whose film to
// the outer bubble is within 0.3% of a half circle: its junctions used to
// give up on every visit, so the bubble kept its area while its target fell.
TEST(JunctionNewton, BubbleBesideAnAlmostHalfCircleReachesItsArea) {
  FoamMesh foam = froth_test::load_data_foam("seed421_half_circle_film.foam");
  FoamSimulator sim(&foam);
  apply_parameters(SimulationParameters{}, sim);
  auto error = [](auto const& f) { return std::abs(compute_area(f) - std::max(f.m_target_area, 0.0)); };
  FoamMesh::face_handle worst;
  for (auto const& f : foam.faces()) {
    if (!f.m_is_outer && (worst.is_null() || error(f) > error(foam.get_face(worst)))) worst = f.m_self;
  }
  auto const& bubble = foam.get_face(worst);
  ASSERT_GT(error(bubble), 0.5 * bubble.m_target_area);
  std::vector<FoamMesh::vertex_handle> corners;
  for (FoamMesh::const_face_halfedge_circulator c(foam, worst); c; ++c) corners.push_back(c->m_destination);
  for (auto v : corners) sim.equilibrate(v, sim.m_max_iterations, sim.m_tau);
  EXPECT_LT(error(bubble), 0.01 * bubble.m_target_area);
  EXPECT_TRUE(MeshIsValid(foam));
}

}  // namespace
