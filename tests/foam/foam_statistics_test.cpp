#include "foam/foam_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "foam_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;
using Statistics = FoamStatistics<FoamMesh>;

double const plateau = 2.0 * M_PI / 3.0;
double const hexagon_area = 1.5 * std::sqrt(3.0);

/// The measured values in one list: bubbles, junctions, mean target area,
/// mean area, mean films, area error, second moment, mean angle, angle error,
/// the distribution's size.
std::vector<double> values_of(Statistics const& s) {
  return {double(s.m_cell_count), double(s.m_vertex_count), s.m_mean_target_area, s.m_mean_area, s.m_mean_edges,
          s.m_area_error,          s.m_second_moment,          s.m_mean_angle,       s.m_angle_error,
          double(s.m_distribution.size())};
}

void expect_values_near(Statistics const& s, std::vector<double> const& expected) {
  std::vector<double> const actual = values_of(s);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << "value " << i;
}

// Construction resets without measuring; update measures and leaves the step
// time and the totals, which reset clears. An empty foam gives the empty
// values. Honeycombs are hexagons in equilibrium (the outer bubble not
// counted, its neighbours are) until targets or pressures change.
TEST(FoamStatistics, EmptyFoamsAndHoneycombsUntilTargetsOrPressuresChange) {
  std::vector<double> const empty{0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, hexagons{0, 0, 0, 0, 0, 0, 1};
  FoamMesh foam;
  for (int rings : {1, 2, 0}) {  // 0: one ring, left open
    SCOPED_TRACE(rings);
    froth_test::make_hexagon_foam(foam, std::max(rings, 1), rings > 0);
    ASSERT_TRUE(MeshIsValid(foam));
    Statistics s(&foam);
    EXPECT_EQ(values_of(s), empty);
    s.update();
    // Open: only the centre bubble and its corners are off the border.
    double const cells = rings == 0 ? 1 : rings == 1 ? 7 : 19, junctions = rings ? foam.vertex_size() : 6;
    expect_values_near(s, {cells, junctions, hexagon_area, hexagon_area, 6, 0, 0, plateau, 0, 7});
    EXPECT_EQ(s.m_distribution, hexagons);
  }
  Statistics s(&foam);
  s.m_step_time = 0.5;
  s.m_t1_total = 3;
  s.update();
  ASSERT_GT(s.m_cell_count, 0u);
  foam.clear();
  s.update();
  EXPECT_EQ(values_of(s), empty);
  EXPECT_EQ(std::make_tuple(0.5, 3u), std::tie(s.m_step_time, s.m_t1_total));
  s.reset();
  EXPECT_EQ(std::make_tuple(0.0, 0u), std::tie(s.m_step_time, s.m_t1_total));

  // One target area off by 0.7: the mean error is 0.7 / 7.
  froth_test::make_hexagon_foam(foam, 1, true);
  foam.faces().front().m_target_area += 0.7;
  s.update();
  expect_values_near(s, {7, double(foam.vertex_size()), hexagon_area + 0.1, hexagon_area, 6, 0.1, 0, plateau, 0, 7});
  // The centre bubble at a higher pressure bulges its six films: its angles
  // grow by twice the end deviation, and each neighbour's two angles at the
  // shared film shrink by one (over six corners of seven bubbles). The mean
  // angle and the mean area stay: what the centre gains its neighbours lose.
  foam.faces().front().m_pressure = 1.5;
  s.update();
  double const dev = film_arc(vector3_type(0, 0, 0), vector3_type(1, 0, 0), 1.5, 1.0, 0.25).m_deviation;
  ASSERT_GT(dev, 0.0);
  EXPECT_NEAR(s.m_mean_angle, plateau, 1e-12);
  EXPECT_NEAR(s.m_angle_error, (6 * 2 * dev + 12 * dev) / (6 * 7), 1e-12);
  EXPECT_NEAR(s.m_mean_area, hexagon_area, 1e-12);
}

// Euler's relation for a closed foam of three-film junctions: with C ordinary
// bubbles and an outer bubble of m films, the mean number of films of the
// ordinary bubbles is 6 - (6 + m) / C.
TEST(FoamStatistics, GeneratedFoamsFollowEuler) {
  for (unsigned seed : {81u, 82u}) {
    SCOPED_TRACE(seed);
    FoamMesh foam = froth_test::make_generated_foam(seed, 400);
    ASSERT_TRUE(MeshIsValid(foam));
    Statistics s(&foam);
    s.update();
    std::vector<double> count;
    double sum = 0.0, squares = 0.0;
    for (auto const& f : foam.faces()) {
      if (f.m_is_outer) continue;
      unsigned const n = film_count(f);
      count.resize(std::max<std::size_t>(count.size(), n + 1), 0.0);
      count[n] += 1.0;
      sum += n;
      squares += double(n) * n;
    }
    double const cells = double(foam.face_size() - 1);
    unsigned const outer_films = film_count(foam.get_face(find_outer_bubble(foam)));
    EXPECT_EQ(std::make_tuple(s.m_cell_count, s.m_vertex_count),
              std::make_tuple(foam.face_size() - 1, foam.vertex_size()));
    ASSERT_EQ(s.m_distribution.size(), count.size());
    for (std::size_t n = 0; n < count.size(); ++n) EXPECT_NEAR(s.m_distribution[n], count[n] / cells, 1e-15) << n;
    EXPECT_NEAR(s.m_mean_edges, 6.0 - (6.0 + outer_films) / cells, 1e-12);
    EXPECT_NEAR(s.m_second_moment, squares / cells - (sum / cells) * (sum / cells), 1e-9) << "the variance of n";
    EXPECT_GT(s.m_second_moment, 0.5) << "a random foam is far from a honeycomb";
    EXPECT_NEAR(s.m_area_error, 0.0, 1e-12) << "every pressure is 1: straight films at the target areas";
    EXPECT_NEAR(s.m_mean_area, s.m_mean_target_area, 1e-12);
  }
}

}  // namespace
