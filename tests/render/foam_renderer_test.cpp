#include "render/foam_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "foam/foam_geometry.h"
#include "render/three_bubble_foam.h"

namespace {

using namespace froth_test;
namespace render = Quarvel::render;
using render::TextPanel;
using Lines = std::vector<std::string>;

void expect_near(vector3_type const& expected, vector3_type const& actual) {
  EXPECT_NEAR(expected.x, actual.x, 1e-12);
  EXPECT_NEAR(expected.y, actual.y, 1e-12);
}

TEST(DistributionLine, BarHasTenColumnsWithOneStarPerFivePercent) {
  TextPanel panel;
  for (auto const& [n, p] : {std::pair{6, 0.37}, {6, 0.6}, {12, 0.05}, {3, 0.0}, {7, 0.049}, {4, -0.5}}) {
    render::add_distribution_line(panel, n, p);
  }
  EXPECT_EQ(panel.m_lines, (Lines{"06|*******    (0.37)", "06|********** (0.6)", "12|*          (0.05)",
                                  "03|           (0)", "07|           (0.049)", "04|           (-0.5)"}));
}

TEST(StatisticsLines, ShowEveryValueAndOneBarPerSideNumberFromTwo) {
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  TextPanel panel;
  // An untimed step of an empty foam: no distribution lines, and defined percentages.
  render::add_statistics_lines(panel, statistics);
  ASSERT_EQ(panel.m_lines.size(), 16u);
  EXPECT_EQ(panel.m_lines[1], "timer: 0ms");
  EXPECT_EQ(panel.m_lines[2], "fps: 0");
  EXPECT_EQ(panel.m_lines[11], "area equil(%): 100");

  statistics.m_step_time = 0.004;
  statistics.m_cell_count = 10;
  statistics.m_vertex_count = 18;
  statistics.m_t1_total = 3;
  statistics.m_t2_total = 1;
  statistics.m_mean_edges = 6;
  statistics.m_second_moment = 1.5;
  statistics.m_mean_area = 2.25;
  statistics.m_mean_target_area = 2.0;
  statistics.m_area_error = 0.5;
  statistics.m_mean_angle = 2.0;
  statistics.m_angle_error = statistics.m_reference_angle / 4;
  statistics.m_distribution = {0, 0, 0, 0, 0, 0.25, 0.75};
  panel.clear();
  render::add_statistics_lines(panel, statistics);
  std::string text;
  for (auto const& line : panel.m_lines) text += line + '\n';
  EXPECT_EQ(text,
            "***[ Foam Statistics ]***\ntimer: 4ms\nfps: 250\nnumber of cells: 10\nnumber of vertices: 18\n"
            "number of T1: 3\nnumber of T2: 1\nmean edges: 6\nsecond moment: 1.5\nmean area: 2.25\nm.area err: 0.5\n"
            "area equil(%): 75\nmean angle: 2\nm.ang err: 0.523599\nang equil(%): 75\ndistribution p(n):\n"
            "02|           (0)\n03|           (0)\n04|           (0)\n05|*****      (0.25)\n06|********** (0.75)\n");
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

  TextPanel panel;
  render::add_topology_warning_lines(panel);
  std::string const stars(41, '*');
  EXPECT_EQ(panel.m_lines, (Lines{stars, "***  TOPOLOGICAL INSTABILTY DETECTED  ***", stars}));
}

TEST(PressureRange, SpansTheInnerBubblesWithScaledMinimum) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  // Equal pressures at full intensity show the full colour.
  render::PressureRange const equal = render::pressure_range(foam, true, 1.0);
  EXPECT_DOUBLE_EQ(equal.m_min, equal.m_max);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(equal, 1.0), 1.0);

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

TEST(FilmShape, RadiusFromPressureDifferenceAndArcBulgesIntoTheLowerSide) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  // Raise one inner bubble's pressure: its films bulge outwards, the others stay straight.
  face_handle const high = foam.faces().front().m_self;
  foam.get_face(high).m_pressure = 3.0;
  // The centroid is the mean of the corners.
  vector3_type const centroid = render::bubble_centroid(foam, high);
  expect_near((foam.get_vertex(v[0]).m_coord + foam.get_vertex(v[1]).m_coord + foam.get_vertex(v[2]).m_coord) / 3.0,
              centroid);
  int curved = 0;
  for (auto const& film : foam.edges()) {
    auto const& h = foam.get_halfedge(film.m_halfedge0);
    render::FilmShape const shape = render::film_shape(foam, film);
    if (h.m_face != high && foam.get_halfedge(h.m_twin).m_face != high) {
      EXPECT_EQ(shape.m_radius, 0.0);
      EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 1.0);
      continue;
    }
    // |2 gamma / dp| = 2 x 0.25 / 2.
    EXPECT_DOUBLE_EQ(shape.m_radius, 0.25);
    EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 3.0);
    render::FilmArcPoints const arc = render::film_arc_points(shape.m_radius, shape.m_a, shape.m_b);
    // The arc's middle lies farther from the high bubble's centroid than the chord's midpoint.
    EXPECT_GT(length(arc.m_points[8] - centroid), length(arc.m_midpoint - centroid));
    ++curved;
  }
  EXPECT_EQ(curved, 3);

  // A side without a bubble takes the outside pressure.
  FoamMesh open;
  make_three_bubble_foam(open, false);
  open.m_outside_pressure = 5.0;
  int borders = 0;
  for (auto const& film : open.edges()) {
    auto const& h = open.get_halfedge(film.m_halfedge0);
    if (!h.m_face.is_null() && !open.get_halfedge(h.m_twin).m_face.is_null()) continue;
    render::FilmShape const shape = render::film_shape(open, film);
    EXPECT_DOUBLE_EQ(shape.m_radius, 2 * 0.25 / 4.0);
    EXPECT_DOUBLE_EQ(shape.m_fill_pressure, 5.0);
    ++borders;
  }
  EXPECT_EQ(borders, 3);
}

TEST(FilmArcPoints, RunFromBCounterClockwiseToAOrHalfACircleBelowHalfTheChord) {
  vector3_type const a(0, 0, 0), b(2, 0, 0);
  render::FilmArcPoints const arc = render::film_arc_points(5.0, a, b);
  EXPECT_EQ(arc.m_points[0], b);
  expect_near(a, arc.m_points[16]);
  expect_near(vector3_type(1, 5.0 - std::sqrt(24.0), 0), arc.m_points[8]);
  // Centre on the right of a -> b, at distance sqrt(R^2 - 1) below the chord.
  vector3_type const centre(1, -std::sqrt(24.0), 0);
  for (auto const& p : arc.m_points) {
    EXPECT_NEAR(length(p - centre), 5.0, 1e-12);
    EXPECT_EQ(p.z, 0.0);
    EXPECT_GE(p.y, -1e-12);  // bulges to the left of a -> b (+y)
  }

  render::FilmArcPoints const half = render::film_arc_points(0.1, a, b);
  expect_near(vector3_type(1, 1, 0), half.m_points[8]);
  expect_near(a, half.m_points[16]);
}

TEST(InfoPanels, ShowAreaAndAngleEquilibriumOrWhatTheArithmeticGives) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  TextPanel panel;
  render::add_junction_info(panel, foam, v[0]);
  EXPECT_EQ(panel.m_lines, (Lines{"*** Junction ***", "A%: 100", "phi%: 100"}));
  EXPECT_EQ(std::make_tuple(0.05f, 0.3f, 0.3f, 0.5f),
            std::make_tuple(panel.m_color[0], panel.m_color[1], panel.m_color[2], panel.m_alpha));

  panel.clear();
  render::add_bubble_info(panel, foam, foam.faces().front().m_self);
  EXPECT_EQ(panel.m_lines,
            (Lines{"*** Bubble ***", "films: 3", "pressure: 1", "area: 0.433013", "target: 0.433013", "A%: 100"}));
  EXPECT_FLOAT_EQ(panel.m_color[0], 0.4f);

  // Corner 1 touches two wedges, with 30-degree corners there, and the outer
  // bubble: |120 - 30| / 120 = 0.75 off the Plateau angle for both wedges.
  panel.clear();
  render::add_junction_info(panel, foam, v[1]);
  EXPECT_EQ(panel.m_lines, (Lines{"*** Junction ***", "A%: 100", "phi%: 25"}));

  // Zero target areas, or no bubble at all, show what the arithmetic gives.
  for (auto& f : foam.faces()) f.m_target_area = 0.0;
  panel.clear();
  render::add_junction_info(panel, foam, v[0]);
  EXPECT_EQ(panel.m_lines[1], "A%: -inf");
  panel.clear();
  render::add_bubble_info(panel, foam, foam.faces().front().m_self);
  EXPECT_EQ(panel.m_lines[5], "A%: -inf");
  // The outer bubble: area 0 and target 0 give 0 / 0.
  panel.clear();
  render::add_bubble_info(panel, foam, Quarvel::kordal::find_outer_bubble(foam));
  EXPECT_NE(panel.m_lines[5].find("nan"), std::string::npos) << panel.m_lines[5];
  // An isolated junction has no bubble to measure.
  panel.clear();
  render::add_junction_info(panel, foam, foam.add_vertex(vector3_type(1, 2, 0)));
  ASSERT_EQ(panel.m_lines.size(), 3u);
  EXPECT_NE(panel.m_lines[1].find("nan"), std::string::npos) << panel.m_lines[1];
}

}  // namespace
