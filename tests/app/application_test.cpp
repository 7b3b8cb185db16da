// The program without a window: start-up values, the key commands with their
// console text, the mouse drags, the statistics refresh and the idle step.
// What the window shows of them is checked by window_test.py.

#include "app/application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "foam/cluster_builders.h"
#include "foam/coarsening_harness.h"
#include "foam/plateau_check.h"
#include "foam/random_source.h"
#include "render/foam_renderer.h"
#include "test_helpers.h"

namespace {

using namespace froth_test;
using Quarvel::kordal::find_outer_bubble;

/// Sends each key through the frame's key path (as the keyboard callback does
/// after the quit keys) and returns what the program printed.
std::string press(Application& app, std::string const& keys) {
  ConsoleCapture console;
  for (char key : keys) app.dispatch_key(static_cast<unsigned char>(key));
  return console.take();
}

auto parameters(Quarvel::kordal::FoamSimulator const& s) {
  return std::make_tuple(s.m_film_tension, s.m_permeability, s.m_max_iterations, s.m_tau, s.m_t1_threshold,
                         s.m_t2_threshold);
}

/// A started program with a seeded random generator and no foam yet; init
/// resets what was set before and gives the simulator the parameters that the
/// core tests run with.
class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    Quarvel::kordal::seed_random_generator(2024);
    app.m_keys['a'] = true;
    ConsoleCapture console;
    app.init();
    EXPECT_FALSE(app.m_keys['a']);
    FoamMesh none;
    Quarvel::kordal::FoamSimulator window(&none);
    configure_like_the_window(window);
    EXPECT_EQ(parameters(app.m_quisk), parameters(window));
  }
  void TearDown() override { Quarvel::kordal::forget_random_seed(); }

  std::vector<double> target_areas() const {
    std::vector<double> areas;
    for (auto const& f : app.m_foam.faces()) areas.push_back(f.m_target_area);
    return areas;
  }
  std::vector<vector3_type> junctions() const {
    std::vector<vector3_type> coords;
    for (auto const& v : app.m_foam.vertices()) coords.push_back(v.m_coord);
    return coords;
  }
  /// A left-button press or release with ctrl, shift or alt.
  void left(bool down, double x, double y, bool ctrl, bool shift = false, bool alt = false) {
    if (down) return app.mouse_down(x, y, shift, ctrl, alt, true, false, false);
    app.mouse_up(x, y, shift, ctrl, alt, true, false, false);
  }

  Application app;
};

bool starts_with(std::string const& text, std::string const& head) { return text.rfind(head, 0) == 0; }
bool ends_with(std::string const& text, std::string const& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// True when text is head followed by "done in <ms> ms ~ <fps>fps!\n".
bool is_timing_report(std::string const& text, std::string const& head) {
  return starts_with(text, head + "done in ") && ends_with(text, "fps!\n") && text.find(" ms ~ ") != std::string::npos;
}

// 'r' fills the window range; the statistics are reset and measured (Euler's
// relation of a closed foam). The presets have their site counts, '4' and '5'
// give an empty foam, 'm' resets the pressures.
TEST_F(Commands, RandomFoamPresetsAndEmptyFoamsAndPressuresReset) {
  EXPECT_TRUE(ends_with(press(app, "r"), "manual pressure override\n"));
  ASSERT_EQ(app.m_sites.size(), 200u);
  for (auto const& s : app.m_sites) EXPECT_TRUE(std::abs(s.x) <= 48.0 && std::abs(s.y) <= 27.0 && s.z == 0.0);
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  EXPECT_EQ(app.m_foam.get_face(find_outer_bubble(app.m_foam)).m_target_area, 0.0);
  EXPECT_EQ(app.m_statistics.m_vertex_count, 2 * app.m_statistics.m_cell_count - 2);
  for (auto& f : app.m_foam.faces()) f.m_pressure = 3.5;
  EXPECT_EQ(press(app, "m"), "manual pressure override\n");
  for (auto const& f : app.m_foam.faces()) EXPECT_EQ(f.m_pressure, 1.0);
  std::size_t const sizes[] = {220, 193, 64};
  for (int n = 1; n <= 3; ++n) {
    press(app, std::to_string(n));
    EXPECT_EQ(app.m_sites.size(), sizes[n - 1]);
    EXPECT_TRUE(MeshIsValid(app.m_foam));
  }
  for (char const* key : {"4", "5"}) {
    press(app, "3");
    EXPECT_EQ(press(app, key), "manual pressure override\n");
    EXPECT_EQ(app.m_sites.size() + app.m_foam.face_size() + app.m_foam.vertex_size() + app.m_statistics.m_cell_count,
              0u);
  }
}

// The counters are zeroed, not handed over to the totals.
TEST_F(Commands, RebuildReusesTheSitesZeroesTheCountersAndXTogglesTheOuterBubble) {
  press(app, "2");
  std::size_t const faces = app.m_foam.face_size(), junctions = app.m_foam.vertex_size();
  app.m_quisk.m_t1_count = 5;
  app.m_quisk.m_t2_count = 6;
  app.m_statistics.m_t1_total = 9;
  EXPECT_EQ(press(app, "x"), "");
  press(app, "R");
  EXPECT_EQ(app.m_quisk.m_t1_count + app.m_quisk.m_t2_count, 0u);
  EXPECT_EQ(app.m_statistics.m_t1_total + app.m_statistics.m_t2_total, 0u);
  EXPECT_TRUE(find_outer_bubble(app.m_foam).is_null());
  EXPECT_EQ(std::make_pair(app.m_foam.face_size(), app.m_foam.vertex_size()), std::make_pair(faces - 1, junctions));
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  press(app, "xR");
  EXPECT_FALSE(find_outer_bubble(app.m_foam).is_null());
  EXPECT_EQ(app.m_foam.face_size(), faces);
}

// Verbose output is switched off for the commands that would print it.
TEST_F(Commands, EquilibrateSimulateDiffuseAndCollapse) {
  press(app, "r");
  EXPECT_TRUE(is_timing_report(press(app, "e"), "\nequilibrating foam once (no diffusion)... "));
  EXPECT_GT(app.m_statistics.m_step_time, 0.0);
  app.m_quisk.m_verbose = true;
  EXPECT_TRUE(is_timing_report(press(app, "s"), "\nrunning one simulation loop... "));
  EXPECT_FALSE(app.m_quisk.m_verbose);
  EXPECT_TRUE(MeshIsValid(app.m_foam));

  EXPECT_EQ(press(app, "kk"), "diffusion = 0.12\ndiffusion = 0.14\n");
  EXPECT_NEAR(app.m_quisk.permeability(), 0.14, 1e-15);
  std::vector<double> const before = target_areas();
  EXPECT_EQ(press(app, "K"), "diffusion disabled!\n");
  EXPECT_EQ(press(app, "d"), "diffusing all bubbles once... done!\n");
  EXPECT_EQ(target_areas(), before);
  EXPECT_EQ(press(app, "k"), "diffusion = 0.02\n");
  app.m_quisk.m_verbose = true;
  EXPECT_EQ(press(app, "d"), "diffusing all bubbles once... done!\n");
  EXPECT_NE(target_areas(), before);
  EXPECT_FALSE(app.m_quisk.m_verbose);

  press(app, "bb");
  std::size_t const bubbles = app.m_foam.face_size();
  EXPECT_TRUE(is_timing_report(press(app, "c"), "collapsing bubble... "));
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  EXPECT_LE(app.m_foam.face_size(), bubbles);
  // A selection past the end collapses nothing.
  app.m_bubble = static_cast<unsigned>(app.m_foam.face_size());
  std::vector<double> const areas = target_areas();
  EXPECT_EQ(press(app, "c"), "");
  EXPECT_EQ(target_areas(), areas);
}

// 'E' solves the foam exactly (checked by an independent measure of areas
// and film tangents); 'Q' makes the idle step diffuse and solve, so every
// step ends at equilibrium, and switches back.
TEST_F(Commands, ExactEquilibriumAndTheQuasiStaticStep) {
  press(app, "1");
  std::string const report = press(app, "E");
  EXPECT_TRUE(starts_with(report, "\nequilibrating foam exactly... done in ")) << report;
  EXPECT_NE(std::string::npos, report.find("fps!\n")) << report;
  EXPECT_NE(std::string::npos, report.find(" Newton iterations, area residual ")) << report;
  froth_test::PlateauResiduals r = froth_test::plateau_residuals(app.m_foam);
  EXPECT_LT(r.m_area, 1e-7);
  EXPECT_LT(r.m_tangent, 1e-8);

  EXPECT_EQ(press(app, "Q"), "\nquasi-static simulation on!\n");
  std::vector<double> const before = target_areas();
  app.run_step();
  EXPECT_NE(target_areas(), before);
  r = froth_test::plateau_residuals(app.m_foam);
  EXPECT_LT(r.m_area, 1e-7);
  EXPECT_LT(r.m_tangent, 1e-8);
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  EXPECT_EQ(press(app, "Q"), "\nquasi-static simulation off!\n");
}

// Both lists wrap around, the outer bubble included; on an empty foam the
// selections stay at zero. A selection left past the end by a smaller foam
// touches nothing.
TEST_F(Commands, CyclingWrapsAroundAndJunctionCommandsRunOnTheSelectedJunctionOrTouchNothing) {
  EXPECT_EQ(press(app, "jbJB"), "");
  EXPECT_EQ(app.m_junction + app.m_bubble, 0u);
  press(app, "rJB");
  EXPECT_EQ(std::make_pair(std::size_t(app.m_junction), std::size_t(app.m_bubble)),
            std::make_pair(app.m_foam.vertex_size() - 1, app.m_foam.face_size() - 1));
  unsigned const last = app.m_junction;
  press(app, "jbjjJbbbB");
  EXPECT_EQ(std::make_pair(app.m_junction, app.m_bubble), std::make_pair(1u, 2u));
  press(app, "JJ3");
  std::size_t const count = app.m_foam.vertex_size();
  ASSERT_LE(count, last);
  std::vector<double> const areas = target_areas();
  for (char const* key : {"S", "D", "T", "Y"}) {
    EXPECT_EQ(press(app, key), "no junction selected: junction #" + std::to_string(last) + " is past the last of " +
                                   std::to_string(count) + " junctions\n");
  }
  EXPECT_EQ(target_areas(), areas);
  app.m_junction = 3;
  for (bool verbose : {false, true}) {
    app.m_quisk.m_verbose = verbose;
    std::string out = press(app, "S");
    EXPECT_TRUE(starts_with(out, "running single simulation loop for junction #3\n") && ends_with(out, "-> done!\n"));
    out = press(app, "D");
    EXPECT_TRUE(starts_with(out, "diffusing bubbles adjancent to junction #3\n") && ends_with(out, "-> done!\n"));
    EXPECT_EQ(app.m_quisk.m_verbose, verbose);
  }
  EXPECT_NE(target_areas(), areas);
  app.m_quisk.m_verbose = false;
  press(app, "TY");
  EXPECT_TRUE(MeshIsValid(app.m_foam));
}

// The site print parses back: preset coordinates have six significant digits
// and come back exactly; random ones come back within 5e-6 relative,
// whatever precision std::cout was left with.
TEST_F(Commands, SitePrintParsesBackToTheSites) {
  auto parse = [](std::string const& text, std::size_t& announced) {
    std::smatch count;
    EXPECT_TRUE(std::regex_search(text, count, std::regex("SITES debug print \\(([0-9]+) sites\\):\n"))) << text;
    announced = count.empty() ? 0 : std::stoul(count[1]);
    std::regex const line("\nm_sites\\.push_back\\(vector3_type\\(([^,]+), ([^,]+), ([^)]+)\\)\\);(?=\n)");
    std::vector<vector3_type> sites;
    for (std::sregex_iterator i(text.begin(), text.end(), line), end; i != end; ++i) {
      sites.emplace_back(std::stod((*i)[1]), std::stod((*i)[2]), std::stod((*i)[3]));
    }
    return sites;
  };
  press(app, "1");
  std::vector<vector3_type> const preset_sites = app.m_sites;
  std::streamsize const saved = std::cout.precision(3);
  std::string const preset = press(app, "jp");
  press(app, "r");
  std::string const random = press(app, "p");
  std::cout.precision(saved);
  std::size_t announced = 0;
  EXPECT_EQ(parse(preset, announced), preset_sites);
  EXPECT_EQ(announced, 220u);
  std::vector<vector3_type> const sites = parse(random, announced);
  EXPECT_EQ(announced, 200u);
  ASSERT_EQ(sites.size(), app.m_sites.size());
  for (std::size_t i = 0; i < sites.size(); ++i) {
    EXPECT_NEAR(sites[i].x, app.m_sites[i].x, 5e-6 * std::abs(app.m_sites[i].x) + 1e-300);
    EXPECT_NEAR(sites[i].y, app.m_sites[i].y, 5e-6 * std::abs(app.m_sites[i].y) + 1e-300);
  }
}

TEST_F(Commands, NoiseMovesMostJunctionsBySixteenthsAtMostAndCtrlDragShearsAndSkipsACollapsingStep) {
  press(app, "r");
  std::vector<vector3_type> before = junctions();
  EXPECT_EQ(press(app, "n"), "");
  std::vector<vector3_type> after = junctions();
  std::size_t moved = 0;
  for (std::size_t i = 0; i < after.size(); ++i) {
    vector3_type const d = after[i] - before[i];
    EXPECT_TRUE(std::abs(d.x) <= 0.0625 + 1e-12 && std::abs(d.y) <= 0.0625 + 1e-12 && d.z == 0.0) << i;
    moved += after[i] != before[i];
  }
  EXPECT_GT(moved, before.size() / 2);

  // The ctrl drag's map has determinant 1: areas are kept.
  before = junctions();
  left(true, 100, 100, true);
  EXPECT_TRUE(app.m_stretching && !app.m_resizing_sites);
  app.mouse_move(110, 90);  // d = (10, 10): s = 0.01, c = 0.99
  after = junctions();
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_NEAR(after[i].x, 0.99 * before[i].x + 0.01 * before[i].y, 1e-12);
    EXPECT_NEAR(after[i].y, before[i].y / 0.99, 1e-12);
  }
  left(false, 110, 90, true);
  EXPECT_FALSE(app.m_stretching);
  vector3_type const first = app.m_foam.vertices().front().m_coord;
  app.mouse_move(500, 500);  // without the drag, motion moves nothing
  EXPECT_EQ(app.m_foam.vertices().front().m_coord, first);
  left(true, 0, 1200, true);
  app.mouse_move(0, 100);  // 1100 pixels up in one step: c = -0.1, skipped
  EXPECT_EQ(app.m_foam.vertices().front().m_coord, first);
  app.mouse_move(0, 90);  // the drag goes on from the new position
  EXPECT_NE(app.m_foam.vertices().front().m_coord, first);
}

// A plain left drag changes the site count, never below ten; shift or alt
// with the left button drive the camera instead. The middle button zooms,
// shift and left pan, and the release ends both.
TEST_F(Commands, MouseDragsChangeTheSiteCountOrZoomOrPan) {
  left(true, 300, 300, false);
  app.mouse_move(320.7, 250);  // 20.7 pixels right: +20
  EXPECT_EQ(app.m_site_count, 220);
  app.mouse_move(0, 250);
  EXPECT_EQ(app.m_site_count, 10);
  app.mouse_move(5, 250);
  left(false, 5, 250, false);
  app.mouse_move(400, 250);
  EXPECT_EQ(app.m_site_count, 15);

  app.m_zoom_sensitivity = app.m_pan_sensitivity = 0.1;
  auto const& eye = app.m_camera.m_position;
  app.mouse_down(100, 100, false, false, false, false, true, false);
  app.mouse_move(100, 150);  // down by 50 pixels: 5 units towards the target
  EXPECT_NEAR(eye.z, 95.0, 1e-12);
  app.mouse_up(100, 160, false, false, false, false, true, false);
  EXPECT_NEAR(eye.z, 94.0, 1e-12);
  EXPECT_NEAR(app.m_camera.m_target.z, -6.0, 1e-12);  // target free: moves along
  left(true, 200, 200, false, true);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_move(230, 180);  // right 30 and up 20: the camera moves left 3 and down 2
  EXPECT_NEAR(eye.x, -3.0, 1e-12);
  EXPECT_NEAR(eye.y, -2.0, 1e-12);
  left(false, 230, 180, false, true);
  // alt + shift + left starts both modes; only zoom acts.
  left(true, 10, 10, false, true, true);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_move(50, 20);
  left(false, 50, 20, false, true, true);
  app.mouse_move(0, 0);  // passive motion after the release moves nothing
  EXPECT_NEAR(eye.x, -3.0, 1e-12);
  EXPECT_NEAR(eye.z, 93.0, 1e-12);
  EXPECT_EQ(app.m_site_count, 15);
}

// Hidden, the overlay leaves the simulator counting and the totals and time
// as they were; shown again ('0'), it collects what accumulated meanwhile.
TEST_F(Commands, StatisticsRefreshHandsTheEventCountsOverOnlyWhileTheOverlayIsVisible) {
  app.m_quisk.m_t1_count = 3;
  app.m_quisk.m_t2_count = 2;
  app.refresh_statistics(0.25);
  EXPECT_EQ(std::make_tuple(3u, 2u, 0u, 0u, 0.25),
            std::tie(app.m_statistics.m_t1_total, app.m_statistics.m_t2_total, app.m_quisk.m_t1_count,
                     app.m_quisk.m_t2_count, app.m_statistics.m_step_time));
  app.m_overlay.m_visible = false;
  app.m_quisk.m_t1_count = 4;
  app.m_quisk.m_t2_count = 1;
  app.refresh_statistics(0.5);
  EXPECT_EQ(std::make_tuple(3u, 4u, 0.25),
            std::tie(app.m_statistics.m_t1_total, app.m_quisk.m_t1_count, app.m_statistics.m_step_time));
  app.m_quisk.m_t1_count += 2;
  EXPECT_EQ(press(app, "0"), "");
  EXPECT_EQ(std::make_tuple(9u, 3u, 0u, 0.0), std::tie(app.m_statistics.m_t1_total, app.m_statistics.m_t2_total,
                                                       app.m_quisk.m_t1_count, app.m_statistics.m_step_time));
}

// The idle step stops at five bubbles or fewer, the outer one counted (an empty
// foam after its first step); a large foam keeps running, its statistics
// refreshed.
TEST_F(Commands, IdleStepStopsAtFiveBubblesAndOtherwiseRefreshesTheStatistics) {
  press(app, " ");
  ConsoleCapture console;
  app.run();
  EXPECT_EQ(console.take(), "forced simulation stopped - too few bubbles!\n\nsimulation stopped!\n");
  EXPECT_FALSE(app.m_idle);
  EXPECT_FALSE(app.m_keys[' ']) << "space went through the command handler twice";
  press(app, "r ");
  app.run_step();
  EXPECT_EQ(console.take(), "");
  EXPECT_TRUE(app.m_idle);
  EXPECT_GT(app.m_statistics.m_step_time, 0.0);
  EXPECT_GT(app.m_statistics.m_cell_count, 100u);
  EXPECT_FALSE(Quarvel::render::topology_broken(app.m_statistics));
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  make_ring_cluster(app.m_foam, 3);
  ASSERT_EQ(app.m_foam.face_size(), 5u);
  app.run_step();
  EXPECT_NE(console.take().find("forced simulation stopped - too few bubbles!"), std::string::npos);
  EXPECT_FALSE(app.m_idle);
}

}  // namespace
