#include "render/foam_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foam/foam_geometry.h"
#include "render/three_bubble_foam.h"

namespace {

using namespace froth_test;
namespace render = Quarvel::render;
using render::TextPanel;

TEST(DistributionLine, BarHasTenColumnsWithOneStarPerFivePercent) {
  TextPanel panel;
  render::add_distribution_line(panel, 6, 0.37);
  render::add_distribution_line(panel, 6, 0.6);
  render::add_distribution_line(panel, 12, 0.05);
  render::add_distribution_line(panel, 3, 0.0);
  render::add_distribution_line(panel, 7, 0.049);
  ASSERT_EQ(panel.m_lines.size(), 5u);
  EXPECT_EQ(panel.m_lines[0], "06|*******    (0.37)");
  EXPECT_EQ(panel.m_lines[1], "06|********** (0.6)");
  EXPECT_EQ(panel.m_lines[2], "12|*          (0.05)");
  EXPECT_EQ(panel.m_lines[3], "03|           (0)");
  EXPECT_EQ(panel.m_lines[4], "07|           (0.049)");
}

TEST(StatisticsLines, ShowEveryValueAndOneBarPerSideNumberFromTwo) {
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  statistics.m_step_time = 0.004;
  statistics.m_cell_count = 10;
  statistics.m_vertex_count = 18;
  statistics.m_t1_total = 3;
  statistics.m_t2_total = 1;
  statistics.m_mean_edges = 6;
  statistics.m_mean_target_area = 2.0;
  statistics.m_area_error = 0.5;
  statistics.m_angle_error = statistics.m_reference_angle / 4;
  statistics.m_distribution = {0, 0, 0, 0, 0, 0.5, 0.5};

  TextPanel panel;
  render::add_statistics_lines(panel, statistics);
  ASSERT_EQ(panel.m_lines.size(), 16u + 5u);
  EXPECT_EQ(panel.m_lines[0], "***[ Foam Statistics ]***");
  EXPECT_EQ(panel.m_lines[1], "timer: 4ms");
  EXPECT_EQ(panel.m_lines[2], "fps: 250");
  EXPECT_EQ(panel.m_lines[3], "number of cells: 10");
  EXPECT_EQ(panel.m_lines[4], "number of vertices: 18");
  EXPECT_EQ(panel.m_lines[5], "number of T1: 3");
  EXPECT_EQ(panel.m_lines[6], "number of T2: 1");
  EXPECT_EQ(panel.m_lines[7], "mean edges: 6");
  EXPECT_EQ(panel.m_lines[11], "area equil(%): 75");
  EXPECT_EQ(panel.m_lines[14], "ang equil(%): 75");
  EXPECT_EQ(panel.m_lines[15], "distribution p(n):");
  EXPECT_EQ(panel.m_lines[16], "02|           (0)");
  EXPECT_EQ(panel.m_lines[20], "06|********** (0.5)");
}

TEST(StatisticsLines, UntimedStepShowsZeroTimerAndFps) {
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  TextPanel panel;
  render::add_statistics_lines(panel, statistics);
  // An empty foam: no distribution lines, and defined percentages.
  ASSERT_EQ(panel.m_lines.size(), 16u);
  EXPECT_EQ(panel.m_lines[1], "timer: 0ms");
  EXPECT_EQ(panel.m_lines[2], "fps: 0");
  EXPECT_EQ(panel.m_lines[11], "area equil(%): 100");
}

TEST(TopologyWarning, ShowsExactlyWhenEulersRelationBreaks) {
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  EXPECT_FALSE(render::topology_broken(statistics));
  statistics.m_cell_count = 10;
  statistics.m_vertex_count = 18;
  EXPECT_FALSE(render::topology_broken(statistics));
  statistics.m_vertex_count = 17;
  EXPECT_TRUE(render::topology_broken(statistics));
  statistics.m_cell_count = 0;
  EXPECT_FALSE(render::topology_broken(statistics));

  // The measured three-bubble foam satisfies the relation.
  make_three_bubble_foam(foam);
  statistics.update();
  EXPECT_EQ(statistics.m_cell_count, 3u);
  EXPECT_FALSE(render::topology_broken(statistics));

  TextPanel panel;
  render::add_topology_warning_lines(panel);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_EQ(panel.m_lines[0], std::string(41, '*'));
  EXPECT_EQ(panel.m_lines[1], "***  TOPOLOGICAL INSTABILTY DETECTED  ***");
}

TEST(PressureRange, SpansTheInnerBubblesWithScaledMinimum) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  double p = 1.0;
  for (auto& f : foam.faces()) {
    if (!f.m_is_outer) f.m_pressure = (p += 1.0);
  }
  foam.get_face(Quarvel::kordal::find_outer_bubble(foam)).m_pressure = 100.0;
  render::PressureRange const filled = render::pressure_range(foam, true, 0.75);
  EXPECT_DOUBLE_EQ(filled.m_max, 4.0);
  EXPECT_DOUBLE_EQ(filled.m_min, 0.75 * 2.0);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(filled, 4.0), 1.0);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(filled, 1.5), 0.0);

  render::PressureRange const unfilled = render::pressure_range(foam, false, 0.75);
  EXPECT_DOUBLE_EQ(unfilled.m_max, 0.0);
  EXPECT_DOUBLE_EQ(unfilled.m_min, 0.75 * std::numeric_limits<double>::max());
}

TEST(PressureRange, EqualPressuresAtFullIntensityShowTheFullColour) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  render::PressureRange const range = render::pressure_range(foam, true, 1.0);
  EXPECT_DOUBLE_EQ(range.m_min, range.m_max);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(range, 1.0), 1.0);
}

TEST(FilmShape, EqualPressuresGiveAStraightFilm) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  for (auto const& film : foam.edges()) {
    render::FilmShape const shape = render::film_shape(foam, film);
    EXPECT_EQ(shape.m_radius, 0.0);
    EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 1.0);
  }
}

TEST(FilmShape, RadiusFromPressureDifferenceAndArcBulgesIntoTheLowerSide) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  // Raise one inner bubble's pressure: its films bulge outwards.
  face_handle const high = foam.faces().front().m_self;
  foam.get_face(high).m_pressure = 3.0;
  vector3_type const centroid = render::bubble_centroid(foam, high);
  int curved = 0;
  for (auto const& film : foam.edges()) {
    auto const& h = foam.get_halfedge(film.m_halfedge0);
    auto const& t = foam.get_halfedge(h.m_twin);
    if (h.m_face != high && t.m_face != high) continue;
    render::FilmShape const shape = render::film_shape(foam, film);
    // |2 gamma / dp| = 2 x 0.25 / 2.
    EXPECT_DOUBLE_EQ(shape.m_radius, 0.25);
    EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 3.0);
    render::FilmArcPoints const arc = render::film_arc_points(shape.m_radius, shape.m_a, shape.m_b);
    // The arc's middle lies farther from the high bubble's centroid than the chord's midpoint.
    EXPECT_GT(length(arc.m_points[8] - centroid), length(arc.m_midpoint - centroid));
    ++curved;
  }
  EXPECT_EQ(curved, 3);
}

TEST(FilmShape, SideWithoutBubbleTakesTheOutsidePressure) {
  FoamMesh foam;
  make_three_bubble_foam(foam, false);
  foam.m_outside_pressure = 5.0;
  int open = 0;
  for (auto const& film : foam.edges()) {
    auto const& h = foam.get_halfedge(film.m_halfedge0);
    auto const& t = foam.get_halfedge(h.m_twin);
    if (!h.m_face.is_null() && !t.m_face.is_null()) continue;
    render::FilmShape const shape = render::film_shape(foam, film);
    EXPECT_DOUBLE_EQ(shape.m_radius, 2 * 0.25 / 4.0);
    EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 5.0);
    ++open;
  }
  EXPECT_EQ(open, 3);
}

TEST(FilmArcPoints, RunFromBCounterClockwiseToA) {
  vector3_type const a(0, 0, 0), b(2, 0, 0);
  render::FilmArcPoints const arc = render::film_arc_points(5.0, a, b);
  EXPECT_EQ(arc.m_points[0], b);
  EXPECT_NEAR(arc.m_points[16].x, a.x, 1e-12);
  EXPECT_NEAR(arc.m_points[16].y, a.y, 1e-12);
  // Centre on the right of a -> b, at distance sqrt(R^2 - 1) below the chord.
  vector3_type const centre(1, -std::sqrt(24.0), 0);
  for (auto const& p : arc.m_points) {
    EXPECT_NEAR(length(p - centre), 5.0, 1e-12);
    EXPECT_EQ(p.z, 0.0);
    EXPECT_GE(p.y, -1e-12);  // bulges to the left of a -> b (+y)
  }
  EXPECT_NEAR(arc.m_points[8].x, 1.0, 1e-12);
  EXPECT_NEAR(arc.m_points[8].y, 5.0 - std::sqrt(24.0), 1e-12);
}

TEST(FilmArcPoints, RadiusBelowHalfTheChordGivesAHalfCircle) {
  render::FilmArcPoints const arc = render::film_arc_points(0.1, vector3_type(0, 0, 0), vector3_type(2, 0, 0));
  EXPECT_NEAR(arc.m_points[8].x, 1.0, 1e-12);
  EXPECT_NEAR(arc.m_points[8].y, 1.0, 1e-12);
  EXPECT_NEAR(arc.m_points[16].x, 0.0, 1e-12);
  EXPECT_NEAR(arc.m_points[16].y, 0.0, 1e-12);
}

TEST(InfoPanels, EquilibratedJunctionAndBubbleShowHundredPercent) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  TextPanel panel;
  render::add_junction_info(panel, foam, v[0]);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_EQ(panel.m_lines[0], "*** Junction ***");
  EXPECT_EQ(panel.m_lines[1], "A%: 100");
  EXPECT_EQ(panel.m_lines[2], "phi%: 100");
  EXPECT_FLOAT_EQ(panel.m_color[0], 0.05f);
  EXPECT_FLOAT_EQ(panel.m_color[1], 0.3f);
  EXPECT_FLOAT_EQ(panel.m_color[2], 0.3f);
  EXPECT_FLOAT_EQ(panel.m_alpha, 0.5f);

  panel.clear();
  render::add_bubble_info(panel, foam, foam.faces().front().m_self);
  ASSERT_EQ(panel.m_lines.size(), 6u);
  EXPECT_EQ(panel.m_lines[0], "*** Bubble ***");
  EXPECT_EQ(panel.m_lines[1], "films: 3");
  EXPECT_EQ(panel.m_lines[2], "pressure: 1");
  EXPECT_EQ(panel.m_lines[3], "area: 0.433013");
  EXPECT_EQ(panel.m_lines[4], "target: 0.433013");
  EXPECT_EQ(panel.m_lines[5], "A%: 100");
  EXPECT_FLOAT_EQ(panel.m_color[0], 0.4f);
}

TEST(InfoPanels, CornerJunctionLeavesTheOuterBubbleOut) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  // Corner 1 touches two wedges, with 30-degree corners there, and the outer bubble.
  TextPanel panel;
  render::add_junction_info(panel, foam, v[1]);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_EQ(panel.m_lines[1], "A%: 100");
  // |120 - 30| / 120 = 0.75 off the Plateau angle for both wedges.
  EXPECT_EQ(panel.m_lines[2], "phi%: 25");
}

TEST(InfoPanels, ZeroTargetAreaShowsWhatTheArithmeticGives) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  for (auto& f : foam.faces()) f.m_target_area = 0.0;
  TextPanel panel;
  render::add_junction_info(panel, foam, v[0]);
  EXPECT_EQ(panel.m_lines[1], "A%: -inf");
  panel.clear();
  render::add_bubble_info(panel, foam, foam.faces().front().m_self);
  EXPECT_EQ(panel.m_lines[5], "A%: -inf");
  // The outer bubble: area 0 and target 0 give 0 / 0.
  panel.clear();
  render::add_bubble_info(panel, foam, Quarvel::kordal::find_outer_bubble(foam));
  EXPECT_NE(panel.m_lines[5].find("nan"), std::string::npos) << panel.m_lines[5];
}

TEST(InfoPanels, IsolatedJunctionHasNoBubbleToMeasure) {
  FoamMesh foam;
  vertex_handle const lone = foam.add_vertex(vector3_type(1, 2, 0));
  TextPanel panel;
  render::add_junction_info(panel, foam, lone);
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_NE(panel.m_lines[1].find("nan"), std::string::npos) << panel.m_lines[1];
}

TEST(BubbleCentroid, IsTheMeanOfTheCorners) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  face_handle const first = foam.faces().front().m_self;
  vector3_type const c = render::bubble_centroid(foam, first);
  vector3_type const expected =
      (foam.get_vertex(v[0]).m_coord + foam.get_vertex(v[1]).m_coord + foam.get_vertex(v[2]).m_coord) / 3.0;
  EXPECT_NEAR(c.x, expected.x, 1e-12);
  EXPECT_NEAR(c.y, expected.y, 1e-12);
}

}  // namespace
