#include "foam/foam_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <gtest/gtest.h>

#include "foam_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;
using Statistics = FoamStatistics<FoamMesh>;

double const plateau = 2.0 * M_PI / 3.0;
double const hexagon_area = 1.5 * std::sqrt(3.0);

void expect_empty_values(Statistics const& s) {
  EXPECT_EQ(s.m_cell_count, 0u);
  EXPECT_EQ(s.m_vertex_count, 0u);
  EXPECT_EQ(s.m_mean_target_area, 1.0);
  EXPECT_EQ(s.m_mean_area, 0.0);
  EXPECT_EQ(s.m_mean_edges, 0.0);
  EXPECT_EQ(s.m_area_error, 0.0);
  EXPECT_EQ(s.m_second_moment, 0.0);
  EXPECT_EQ(s.m_mean_angle, 0.0);
  EXPECT_EQ(s.m_angle_error, 0.0);
  EXPECT_TRUE(s.m_distribution.empty());
}

TEST(FoamStatistics, ConstructionResets) {
  FoamMesh foam;
  Statistics s(&foam);
  EXPECT_EQ(s.m_mesh, &foam);
  EXPECT_EQ(s.m_reference_angle, 2.0943951023931953);
  EXPECT_EQ(s.m_step_time, 0.0);
  EXPECT_EQ(s.m_t1_total, 0u);
  EXPECT_EQ(s.m_t2_total, 0u);
  expect_empty_values(s);
}

TEST(FoamStatistics, EmptyFoamGivesZerosAndUnitTargetArea) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, true);
  Statistics s(&foam);
  s.update();
  ASSERT_GT(s.m_cell_count, 0u);
  foam.clear();
  s.m_step_time = 0.5;
  s.m_t1_total = 3;
  s.m_t2_total = 4;
  s.update();
  expect_empty_values(s);
  EXPECT_EQ(s.m_step_time, 0.5) << "update leaves the step time";
  EXPECT_EQ(s.m_t1_total, 3u) << "update leaves the totals";
  EXPECT_EQ(s.m_t2_total, 4u);
  s.reset();
  EXPECT_EQ(s.m_step_time, 0.0);
  EXPECT_EQ(s.m_t1_total, 0u);
  EXPECT_EQ(s.m_t2_total, 0u);
}

TEST(FoamStatistics, ClosedHoneycombIsAllHexagonsInEquilibrium) {
  for (int rings : {1, 2}) {
    SCOPED_TRACE(rings);
    FoamMesh foam;
    froth_test::make_hexagon_foam(foam, rings, true);
    ASSERT_TRUE(MeshIsValid(foam));
    Statistics s(&foam);
    s.update();
    std::uint32_t const cells = rings == 1 ? 7 : 19;
    EXPECT_EQ(s.m_cell_count, cells) << "the outer bubble is not counted, its neighbours are";
    EXPECT_EQ(s.m_vertex_count, foam.vertex_size());
    ASSERT_EQ(s.m_distribution.size(), 7u);
    for (int n = 0; n < 6; ++n) EXPECT_EQ(s.m_distribution[n], 0.0);
    EXPECT_EQ(s.m_distribution[6], 1.0);
    EXPECT_EQ(s.m_mean_edges, 6.0);
    EXPECT_EQ(s.m_second_moment, 0.0);
    EXPECT_NEAR(s.m_mean_area, hexagon_area, 1e-12);
    EXPECT_NEAR(s.m_mean_target_area, hexagon_area, 1e-12);
    EXPECT_NEAR(s.m_area_error, 0.0, 1e-12);
    EXPECT_NEAR(s.m_mean_angle, plateau, 1e-12);
    EXPECT_NEAR(s.m_angle_error, 0.0, 1e-12);
  }
}

TEST(FoamStatistics, OpenHoneycombSkipsTheBorder) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, false);
  Statistics s(&foam);
  s.update();
  EXPECT_EQ(s.m_cell_count, 1u) << "only the centre bubble has no film on the open border";
  EXPECT_EQ(s.m_vertex_count, 6u) << "only the centre bubble's corners are off the border";
  EXPECT_EQ(s.m_distribution, std::vector<double>({0, 0, 0, 0, 0, 0, 1}));
  EXPECT_NEAR(s.m_mean_angle, plateau, 1e-12);
}

TEST(FoamStatistics, AreaErrorIsTheMeanTargetMiss) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, true);
  Statistics s(&foam);
  // One target area off by 0.7: the mean error is 0.7 / 7.
  foam.faces().front().m_target_area += 0.7;
  s.update();
  EXPECT_NEAR(s.m_area_error, 0.1, 1e-12);
  EXPECT_NEAR(s.m_mean_target_area, hexagon_area + 0.1, 1e-12);
  EXPECT_NEAR(s.m_mean_area, hexagon_area, 1e-12);
}

TEST(FoamStatistics, PressureDifferencesBendTheAngles) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, true);
  // The centre bubble at a higher pressure bulges its six films: its angles
  // grow by twice the end deviation, and each neighbour's two angles at the
  // shared film shrink by one.
  foam.faces().front().m_pressure = 1.5;
  Statistics s(&foam);
  s.update();
  double const dev = film_arc(vector3_type(0, 0, 0), vector3_type(1, 0, 0), 1.5, 1.0, 0.25).m_deviation;
  ASSERT_GT(dev, 0.0);
  double const angles = 6 * 7;  // six corners of each of the seven bubbles
  EXPECT_NEAR(s.m_mean_angle, plateau, 1e-12) << "the changes cancel";
  EXPECT_NEAR(s.m_angle_error, (6 * 2 * dev + 12 * dev) / angles, 1e-12);
  EXPECT_NEAR(s.m_mean_area, hexagon_area, 1e-12) << "what the centre gains its neighbours lose";
  EXPECT_GT(s.m_area_error, 0.0);
}

// Euler's relation for a closed foam of three-film junctions: with C ordinary
// bubbles and an outer bubble of m films, the mean number of films of the
// ordinary bubbles is 6 - (6 + m) / C.
TEST(FoamStatistics, GeneratedFoamsFollowEuler) {
  for (unsigned seed : {81u, 82u, 83u}) {
    SCOPED_TRACE(seed);
    FoamMesh foam = froth_test::make_generated_foam(seed, 400);
    ASSERT_TRUE(MeshIsValid(foam));
    Statistics s(&foam);
    s.update();
    double const cells = double(foam.face_size() - 1);
    unsigned const outer_films = film_count(foam.get_face(find_outer_bubble(foam)));
    EXPECT_EQ(s.m_cell_count, foam.face_size() - 1);
    EXPECT_EQ(s.m_vertex_count, foam.vertex_size());
    EXPECT_NEAR(std::accumulate(s.m_distribution.begin(), s.m_distribution.end(), 0.0), 1.0, 1e-12);
    EXPECT_NEAR(s.m_mean_edges, 6.0 - (6.0 + outer_films) / cells, 1e-12);

    unsigned most = 0, fewest = 1000;
    for (auto const& f : foam.faces()) {
      if (f.m_is_outer) continue;
      most = std::max(most, film_count(f));
      fewest = std::min(fewest, film_count(f));
    }
    ASSERT_EQ(s.m_distribution.size(), most + 1);
    for (unsigned n = 0; n < fewest; ++n) EXPECT_EQ(s.m_distribution[n], 0.0);
    EXPECT_GT(s.m_distribution[fewest], 0.0);
    double square = 0.0;
    for (std::size_t n = 0; n < s.m_distribution.size(); ++n) square += double(n * n) * s.m_distribution[n];
    EXPECT_NEAR(s.m_second_moment, square - s.m_mean_edges * s.m_mean_edges, 1e-9);
    EXPECT_GT(s.m_second_moment, 0.5) << "a random foam is far from a honeycomb";
    EXPECT_NEAR(s.m_area_error, 0.0, 1e-12) << "every pressure is 1: straight films at the target areas";
    EXPECT_NEAR(s.m_mean_area, s.m_mean_target_area, 1e-12);
  }
}

TEST(FoamStatistics, OpenGeneratedFoamCountsOnlyBubblesOffTheBorder) {
  FoamMesh foam = froth_test::make_generated_foam(84u, 300, false);
  std::uint32_t inner_bubbles = 0, inner_junctions = 0;
  for (auto const& f : foam.faces()) {
    bool border = false;
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      border = border || foam.get_halfedge(c->m_twin).m_face.is_null();
    }
    inner_bubbles += border ? 0 : 1;
  }
  for (auto const& v : foam.vertices()) inner_junctions += is_boundary(v) ? 0 : 1;
  Statistics s(&foam);
  s.update();
  EXPECT_EQ(s.m_cell_count, inner_bubbles);
  EXPECT_EQ(s.m_vertex_count, inner_junctions);
  EXPECT_LT(s.m_cell_count, foam.face_size());
  EXPECT_LT(s.m_vertex_count, foam.vertex_size());
}

}  // namespace
