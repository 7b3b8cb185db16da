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

TEST(PlacePanel, EachAnchorRule) {
  struct Case {
    int anchor, x, y, window_width, window_height, box_width, box_height;
    int expected_x, expected_y;
    char const* what;
  };
  for (Case const& c : {
           Case{0, 4, 4, 960, 540, 100, 50, 4, 4, "clamped: inside, unchanged"},
           Case{0, 900, 520, 960, 540, 100, 50, 860, 490, "clamped: pushed back from right and bottom"},
           Case{0, -7, -3, 960, 540, 100, 50, 0, 0, "clamped: pushed to 0 from left and top"},
           Case{0, 10, 10, 80, 540, 100, 50, -20, 10, "clamped: wider than the window, the right edge wins"},
           Case{1, -7, 900, 960, 540, 100, 50, -7, 900, "kept"},
           Case{2, 4, 4, 960, 540, 100, 50, 860, 4, "right edge"},
           Case{3, 4, 4, 960, 540, 100, 50, 4, 490, "bottom edge"},
           // Each halving rounds toward zero: 961 / 2 = 480, 101 / 2 = 50, 541 / 2 = 270, 51 / 2 = 25.
           Case{5, 123, 456, 961, 541, 101, 51, 430, 245, "centred"},
           Case{5, 0, 0, 10, 10, 31, 31, -10, -10, "centred, larger than the window: still truncated toward zero"},
       }) {
    auto const p = render::place_panel(c.anchor, c.x, c.y, c.window_width, c.window_height, c.box_width, c.box_height);
    EXPECT_EQ(std::make_pair(c.expected_x, c.expected_y), std::make_pair(p.m_x, p.m_y)) << c.what;
  }
}

// Lines longer than 255 characters are cut.
TEST(TextPanel, LinesTrackTheLongestPrintFormatsAndCutsClearResetsAndLayoutSizesTheBox) {
  TextPanel panel;
  panel.add_line("abc");
  panel.print("number of cells: %i", 42);
  panel.print("A%%: %g", 99.5);
  panel.print("timer: %gms", 0.0);
  EXPECT_EQ(panel.m_lines, (std::vector<std::string>{"abc", "number of cells: 42", "A%: 99.5", "timer: 0ms"}));
  EXPECT_EQ(panel.m_max_chars, 19u);
  panel.clear();
  EXPECT_EQ(std::make_pair(panel.m_lines.size(), panel.m_max_chars), std::make_pair(std::size_t(0), 0u));
  panel.print("%s|%s", std::string(1000, 'x').c_str(), "tail");
  panel.print("%s", std::string(255, 'y').c_str());
  EXPECT_EQ(panel.m_lines, (std::vector<std::string>{std::string(255, 'x'), std::string(255, 'y')}));
  EXPECT_EQ(panel.m_max_chars, 255u);

  // 8 pixels a character and 15 a line, with margins of 4 and 6, placed by
  // the anchor (4: bottom right); layout leaves the lines for the draw.
  panel.clear();
  panel.add_line("0123456789");
  panel.add_line("x");
  panel.m_anchor = 4;
  panel.layout(960, 540);
  EXPECT_EQ(std::make_tuple(960, 540, 84, 36, 960 - 84, 540 - 36),
            std::tie(panel.m_window_width, panel.m_window_height, panel.m_box_width, panel.m_box_height, panel.m_x,
                     panel.m_y));
  EXPECT_EQ(panel.m_lines.size(), 2u);
  TextPanel empty;
  empty.m_anchor = 5;
  empty.layout(100, 100);
  EXPECT_EQ(std::make_tuple(4, 6, 48, 47), std::tie(empty.m_box_width, empty.m_box_height, empty.m_x, empty.m_y));
}

// An untimed step of an empty foam has no distribution lines and defined
// percentages. A bar has ten columns, one star per five percent; the
// distribution shows one bar per side number from two. The topology warning.
TEST(StatisticsLines, ShowEveryValueAndOneBarPerSideNumberFromTwoAndTheTopologyWarning) {
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
  // Euler's relation for a closed foam counts; an empty foam shows no warning.
  for (auto const& [cells, junctions, broken] :
       {std::tuple{0u, 0u, false}, {10u, 18u, false}, {10u, 17u, true}, {0u, 17u, false}}) {
    statistics.m_cell_count = cells;
    statistics.m_vertex_count = junctions;
    EXPECT_EQ(render::topology_broken(statistics), broken) << cells << " " << junctions;
  }
  auto& s = statistics;
  std::tie(s.m_step_time, s.m_cell_count, s.m_vertex_count, s.m_t1_total, s.m_t2_total) =
      std::make_tuple(0.004, 10u, 18u, 3u, 1u);
  std::tie(s.m_mean_edges, s.m_second_moment, s.m_mean_area, s.m_mean_target_area, s.m_area_error, s.m_mean_angle) =
      std::make_tuple(6.0, 1.5, 2.25, 2.0, 0.5, 2.0);
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

// One inner bubble at a higher pressure: its films bulge outwards with
// radius |2 gamma / dp| = 2 x 0.25 / 2, the others stay straight. A side
// without a bubble takes the outside pressure.
TEST(FilmShape, RadiusFromPressureDifferenceAndArcPointsBulgeIntoTheLowerSide) {
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

  // The arc points: the centre lies right of a -> b, at distance
  // sqrt(R^2 - 1) below the chord, and they run from b counter-clockwise to a,
  // bulging to the left; R below half the chord gives half a circle.
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
// bubble: |120 - 30| / 120 = 0.75 off the Plateau angle for both wedges. A
// junction without bubbles shows what the arithmetic gives.
TEST(InfoPanelsAndPressureRange, ShowEquilibriumOrWhatTheArithmeticGivesAndSpanTheInnerBubbles) {
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
  TextPanel const isolated = junction(foam.add_vertex(vector3_type(1, 2, 0)));
  ASSERT_EQ(isolated.m_lines.size(), 3u);
  EXPECT_NE(isolated.m_lines[1].find("nan"), std::string::npos) << isolated.m_lines[1];

  // Equal pressures at full intensity show the full colour; the outer bubble
  // takes no part in the range, whose minimum the intensity scales.
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

}  // namespace
