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

std::string text_of(TextPanel const& panel) {
  std::string text;
  for (auto const& line : panel.m_lines) text += line + '\n';
  return text;
}

// An untimed step of an empty foam has no distribution lines and defined
// percentages. A bar has ten columns, one star per five percent; the
// distribution shows one bar per side number from two.
TEST(StatisticsLines, ShowEveryValueAndOneBarPerSideNumberFromTwo) {
  TextPanel panel;
  for (auto const& [n, p] : {std::pair{6, 0.37}, {12, 0.05}, {7, 0.049}, {4, -0.5}}) {
    render::add_distribution_line(panel, n, p);
  }
  EXPECT_EQ(panel.m_lines,
            (Lines{"06|*******    (0.37)", "12|*          (0.05)", "07|           (0.049)", "04|           (-0.5)"}));
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  panel.clear();
  render::add_statistics_lines(panel, statistics);
  ASSERT_EQ(panel.m_lines.size(), 16u);
  EXPECT_EQ(std::make_tuple(panel.m_lines[1], panel.m_lines[2], panel.m_lines[11]),
            std::make_tuple("timer: 0ms", "fps: 0", "area equil(%): 100"));
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
  EXPECT_EQ(text_of(panel),
            "***[ Foam Statistics ]***\ntimer: 4ms\nfps: 250\nnumber of cells: 10\nnumber of vertices: 18\n"
            "number of T1: 3\nnumber of T2: 1\nmean edges: 6\nsecond moment: 1.5\nmean area: 2.25\nm.area err: 0.5\n"
            "area equil(%): 75\nmean angle: 2\nm.ang err: 0.523599\nang equil(%): 75\ndistribution p(n):\n"
            "02|           (0)\n03|           (0)\n04|           (0)\n05|*****      (0.25)\n06|********** (0.75)\n");
}

// Euler's relation for a closed foam counts; an empty foam shows no warning.
TEST(TopologyWarning, ShowsExactlyWhenEulersRelationBreaks) {
  FoamMesh foam;
  render::foam_statistics_type statistics(&foam);
  for (auto const& [cells, junctions, broken] : {std::tuple{0u, 0u, false}, {10u, 18u, false}, {10u, 17u, true},
                                                   {0u, 17u, false}}) {
    statistics.m_cell_count = cells;
    statistics.m_vertex_count = junctions;
    EXPECT_EQ(render::topology_broken(statistics), broken) << cells << " " << junctions;
  }
}

// Equal pressures at full intensity show the full colour; the outer bubble
// takes no part in the range, whose minimum the intensity scales.
TEST(PressureRange, SpansTheInnerBubblesWithScaledMinimum) {
  FoamMesh foam;
  make_three_bubble_foam(foam);
  render::PressureRange const equal = render::pressure_range(foam, true, 1.0);
  EXPECT_DOUBLE_EQ(equal.m_min, equal.m_max);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(equal, 1.0), 1.0);
  double p = 1.0;
  for (auto& f : foam.faces()) f.m_pressure = f.m_is_outer ? 100.0 : (p += 1.0);
  render::PressureRange const filled = render::pressure_range(foam, true, 0.75);
  EXPECT_EQ(std::make_pair(filled.m_min, filled.m_max), std::make_pair(0.75 * 2.0, 4.0));
  EXPECT_DOUBLE_EQ(render::normalised_pressure(filled, 4.0), 1.0);
  EXPECT_DOUBLE_EQ(render::normalised_pressure(filled, 1.5), 0.0);
  render::PressureRange const unfilled = render::pressure_range(foam, false, 0.75);
  EXPECT_EQ(std::make_pair(unfilled.m_min, unfilled.m_max),
            std::make_pair(0.75 * std::numeric_limits<double>::max(), 0.0));
}

// One inner bubble at a higher pressure: its films bulge outwards with
// radius |2 gamma / dp| = 2 x 0.25 / 2, the others stay straight. A side
// without a bubble takes the outside pressure.
TEST(FilmShape, RadiusFromPressureDifferenceAndArcBulgesIntoTheLowerSide) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  face_handle const high = foam.faces().front().m_self;
  foam.get_face(high).m_pressure = 3.0;
  vector3_type const centroid = render::bubble_centroid(foam, high);
  vector3_type const mean =
      (foam.get_vertex(v[0]).m_coord + foam.get_vertex(v[1]).m_coord + foam.get_vertex(v[2]).m_coord) / 3.0;
  EXPECT_NEAR(length(centroid - mean), 0.0, 1e-12);
  int curved = 0;
  for (auto const& film : foam.edges()) {
    auto const& h = foam.get_halfedge(film.m_halfedge0);
    render::FilmShape const shape = render::film_shape(foam, film);
    bool const bulges = h.m_face == high || foam.get_halfedge(h.m_twin).m_face == high;
    EXPECT_EQ(std::make_pair(shape.m_radius, shape.m_fill_pressure),
              bulges ? std::make_pair(0.25, 3.0) : std::make_pair(0.0, 1.0));
    if (!bulges) continue;
    render::FilmArcPoints const arc = render::film_arc_points(shape.m_radius, shape.m_a, shape.m_b);
    EXPECT_GT(length(arc.m_points[8] - centroid), length(arc.m_midpoint - centroid));
    ++curved;
  }
  EXPECT_EQ(curved, 3);
  FoamMesh open;
  make_three_bubble_foam(open, false);
  open.m_outside_pressure = 5.0;
  int borders = 0;
  for (auto const& film : open.edges()) {
    auto const& h = open.get_halfedge(film.m_halfedge0);
    if (!h.m_face.is_null() && !open.get_halfedge(h.m_twin).m_face.is_null()) continue;
    render::FilmShape const shape = render::film_shape(open, film);
    EXPECT_EQ(std::make_pair(shape.m_radius, shape.m_fill_pressure), std::make_pair(2 * 0.25 / 4.0, 5.0));
    ++borders;
  }
  EXPECT_EQ(borders, 3);
}

// The centre lies right of a -> b, at distance sqrt(R^2 - 1) below the chord:
// the arc bulges to the left; below half the chord, half a circle.
TEST(FilmArcPoints, RunFromBCounterClockwiseToAOrHalfACircleBelowHalfTheChord) {
  vector3_type const a(0, 0, 0), b(2, 0, 0), centre(1, -std::sqrt(24.0), 0);
  render::FilmArcPoints const arc = render::film_arc_points(5.0, a, b);
  EXPECT_EQ(arc.m_points[0], b);
  EXPECT_NEAR(length(arc.m_points[16] - a), 0.0, 1e-12);
  EXPECT_NEAR(length(arc.m_points[8] - vector3_type(1, 5.0 - std::sqrt(24.0), 0)), 0.0, 1e-12);
  for (auto const& p : arc.m_points) {
    EXPECT_NEAR(length(p - centre), 5.0, 1e-12);
    EXPECT_TRUE(p.z == 0.0 && p.y >= -1e-12);
  }
  render::FilmArcPoints const half = render::film_arc_points(0.1, a, b);
  EXPECT_NEAR(length(half.m_points[8] - vector3_type(1, 1, 0)), 0.0, 1e-12);
  EXPECT_NEAR(length(half.m_points[16] - a), 0.0, 1e-12);
}

// Corner 1 touches two wedges, with 30-degree corners there, and the outer
// bubble: |120 - 30| / 120 = 0.75 off the Plateau angle for both wedges.
// Zero target areas, the outer bubble (0 / 0) or no bubble at all show what
// the arithmetic gives.
TEST(InfoPanels, ShowAreaAndAngleEquilibriumOrWhatTheArithmeticGives) {
  FoamMesh foam;
  auto const v = make_three_bubble_foam(foam);
  auto junction = [&](vertex_handle j) {
    TextPanel panel;
    render::add_junction_info(panel, foam, j);
    return panel;
  };
  auto bubble = [&](face_handle b) {
    TextPanel panel;
    render::add_bubble_info(panel, foam, b);
    return panel;
  };
  EXPECT_EQ(junction(v[0]).m_lines, (Lines{"*** Junction ***", "A%: 100", "phi%: 100"}));
  EXPECT_EQ(bubble(foam.faces().front().m_self).m_lines,
            (Lines{"*** Bubble ***", "films: 3", "pressure: 1", "area: 0.433013", "target: 0.433013", "A%: 100"}));
  EXPECT_EQ(junction(v[1]).m_lines, (Lines{"*** Junction ***", "A%: 100", "phi%: 25"}));
  for (auto& f : foam.faces()) f.m_target_area = 0.0;
  EXPECT_EQ(junction(v[0]).m_lines[1], "A%: -inf");
  EXPECT_EQ(bubble(foam.faces().front().m_self).m_lines[5], "A%: -inf");
  EXPECT_NE(bubble(Quarvel::kordal::find_outer_bubble(foam)).m_lines[5].find("nan"), std::string::npos);
  TextPanel const isolated = junction(foam.add_vertex(vector3_type(1, 2, 0)));
  ASSERT_EQ(isolated.m_lines.size(), 3u);
  EXPECT_NE(isolated.m_lines[1].find("nan"), std::string::npos) << isolated.m_lines[1];
}

}  // namespace
