#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/console_capture.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;

/// A started program with a seeded random foam of the default 200 sites.
class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    Quarvel::kordal::seed_random_generator(2024);
    start(app);
  }
  void TearDown() override { Quarvel::kordal::forget_random_seed(); }

  std::vector<double> target_areas() const {
    std::vector<double> areas;
    for (auto const& f : app.m_foam.faces()) areas.push_back(f.m_target_area);
    return areas;
  }

  Application app;
};

/// True when text ends with "done in <ms> ms ~ <fps>fps!\n" with two numbers.
::testing::AssertionResult EndsWithTimingReport(std::string const& text) {
  std::size_t const at = text.rfind("done in ");
  double ms = 0.0, fps = 0.0;
  char tail[8] = {};
  if (at != std::string::npos && std::sscanf(text.c_str() + at, "done in %lf ms ~ %lffps%7s", &ms, &fps, tail) == 3 &&
      std::string(tail) == "!" && text.back() == '\n' && ms >= 0.0 && fps > 0.0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "no timing report at the end of: " << text;
}

bool starts_with(std::string const& text, std::string const& head) { return text.compare(0, head.size(), head) == 0; }

TEST_F(Commands, RandomFoamFillsTheWindowRangeAndResetsPressures) {
  std::string const out = press(app, "r");
  EXPECT_TRUE(out.size() >= 25 && out.substr(out.size() - 25) == "manual pressure override\n") << out;
  ASSERT_EQ(app.m_sites.size(), 200u);
  for (auto const& s : app.m_sites) {
    EXPECT_LE(std::abs(s.x), 48.0);
    EXPECT_LE(std::abs(s.y), 27.0);
    EXPECT_EQ(s.z, 0.0);
  }
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  EXPECT_GT(app.m_foam.face_size(), 100u);
  for (auto const& f : app.m_foam.faces()) EXPECT_DOUBLE_EQ(f.m_pressure, 1.0);
  Application::face_handle const outer = Quarvel::kordal::find_outer_bubble(app.m_foam);
  ASSERT_FALSE(outer.is_null());
  EXPECT_DOUBLE_EQ(app.m_foam.get_face(outer).m_target_area, 0.0);
  // The statistics were reset and measured: Euler's relation of a closed foam.
  EXPECT_EQ(app.m_statistics.m_vertex_count, 2 * app.m_statistics.m_cell_count - 2);
  EXPECT_EQ(app.m_statistics.m_t1_total, 0u);
}

TEST_F(Commands, PresetsBuildFoamsAndFourAndFiveGiveAnEmptyFoam) {
  std::size_t const sizes[] = {220, 193, 64};
  for (int n = 1; n <= 3; ++n) {
    std::string const out = press(app, std::string(1, static_cast<char>('0' + n)));
    EXPECT_NE(out.find("manual pressure override\n"), std::string::npos);
    EXPECT_EQ(app.m_sites.size(), sizes[n - 1]);
    EXPECT_GT(app.m_foam.face_size(), 10u);
    EXPECT_TRUE(MeshIsValid(app.m_foam));
  }
  for (char key : {'4', '5'}) {
    press(app, "3");
    std::string const out = press(app, std::string(1, key));
    EXPECT_EQ(out, "manual pressure override\n");
    EXPECT_TRUE(app.m_sites.empty());
    EXPECT_EQ(app.m_foam.face_size(), 0u);
    EXPECT_EQ(app.m_foam.vertex_size(), 0u);
    EXPECT_EQ(app.m_statistics.m_cell_count, 0u);
  }
}

TEST_F(Commands, GenerationZeroesTheEventCountersWithoutAddingThem) {
  press(app, "r");
  app.m_quisk.m_t1_count = 5;
  app.m_quisk.m_t2_count = 6;
  app.m_statistics.m_t1_total = 9;
  press(app, "R");
  EXPECT_EQ(app.m_quisk.m_t1_count, 0u);
  EXPECT_EQ(app.m_quisk.m_t2_count, 0u);
  EXPECT_EQ(app.m_statistics.m_t1_total, 0u);
  EXPECT_EQ(app.m_statistics.m_t2_total, 0u);
}

TEST_F(Commands, RebuildReusesTheSitesAndXTogglesTheOuterBubble) {
  press(app, "2");
  std::size_t const faces = app.m_foam.face_size();
  std::size_t const junctions = app.m_foam.vertex_size();
  ASSERT_FALSE(Quarvel::kordal::find_outer_bubble(app.m_foam).is_null());

  EXPECT_EQ(press(app, "x"), "");
  press(app, "R");
  EXPECT_TRUE(Quarvel::kordal::find_outer_bubble(app.m_foam).is_null());
  EXPECT_EQ(app.m_foam.face_size(), faces - 1);
  EXPECT_EQ(app.m_foam.vertex_size(), junctions);
  EXPECT_TRUE(MeshIsValid(app.m_foam));

  press(app, "xR");
  EXPECT_FALSE(Quarvel::kordal::find_outer_bubble(app.m_foam).is_null());
  EXPECT_EQ(app.m_foam.face_size(), faces);
}

TEST_F(Commands, PressureResetSetsEveryBubbleToOne) {
  press(app, "r");
  for (auto& f : app.m_foam.faces()) f.m_pressure = 3.5;
  EXPECT_EQ(press(app, "m"), "manual pressure override\n");
  for (auto const& f : app.m_foam.faces()) EXPECT_DOUBLE_EQ(f.m_pressure, 1.0);
}

TEST_F(Commands, EquilibrateAndSimulatePrintTheirMessageAndATimingReport) {
  press(app, "r");
  std::string out = press(app, "e");
  EXPECT_TRUE(starts_with(out, "\nequilibrating foam once (no diffusion)... ")) << out;
  EXPECT_TRUE(EndsWithTimingReport(out));
  EXPECT_GT(app.m_statistics.m_step_time, 0.0);

  app.m_quisk.m_verbose = true;
  out = press(app, "s");
  EXPECT_TRUE(starts_with(out, "\nrunning one simulation loop... ")) << out;
  EXPECT_TRUE(EndsWithTimingReport(out));
  EXPECT_FALSE(app.m_quisk.m_verbose);
  EXPECT_TRUE(MeshIsValid(app.m_foam));
}

TEST_F(Commands, SpaceReportsTheIdleStateTheFrameSet) {
  EXPECT_EQ(press(app, " "), "\nsimulation started!\n");
  EXPECT_TRUE(app.m_idle);
  EXPECT_EQ(press(app, " "), "\nsimulation stopped!\n");
  EXPECT_FALSE(app.m_idle);
}

TEST_F(Commands, PermeabilitySteps) {
  EXPECT_EQ(press(app, "kk"), "diffusion = 0.12\ndiffusion = 0.14\n");
  EXPECT_NEAR(app.m_quisk.permeability(), 0.14, 1e-15);
  EXPECT_EQ(press(app, "K"), "diffusion disabled!\n");
  EXPECT_EQ(app.m_quisk.permeability(), 0.0);
}

TEST_F(Commands, DiffusionChangesTargetAreasUnlessDisabled) {
  press(app, "r");
  std::vector<double> const before = target_areas();
  EXPECT_EQ(press(app, "K"), "diffusion disabled!\n");
  EXPECT_EQ(press(app, "d"), "diffusing all bubbles once... done!\n");
  EXPECT_EQ(target_areas(), before);

  press(app, "k");
  EXPECT_EQ(press(app, "d"), "diffusing all bubbles once... done!\n");
  EXPECT_NE(target_areas(), before);
  EXPECT_FALSE(app.m_quisk.m_verbose);
}

TEST_F(Commands, JunctionCommandsRunOnTheSelectedJunction) {
  press(app, "r");
  press(app, "jjj");
  ASSERT_EQ(app.m_junction, 3u);

  std::string out = press(app, "S");
  EXPECT_TRUE(starts_with(out, "running single simulation loop for junction #3\n")) << out;
  EXPECT_TRUE(out.size() >= 9 && out.substr(out.size() - 9) == "-> done!\n") << out;
  EXPECT_FALSE(app.m_quisk.m_verbose);  // restored

  app.m_quisk.m_verbose = true;
  out = press(app, "D");
  EXPECT_TRUE(starts_with(out, "diffusing bubbles adjancent to junction #3\n")) << out;
  EXPECT_TRUE(out.size() >= 9 && out.substr(out.size() - 9) == "-> done!\n") << out;
  EXPECT_TRUE(app.m_quisk.m_verbose);  // restored
  app.m_quisk.m_verbose = false;

  press(app, "TY");
  EXPECT_TRUE(MeshIsValid(app.m_foam));
}

TEST_F(Commands, JunctionCommandsWithoutASelectedJunctionTouchNothing) {
  // Empty foam.
  for (char key : {'S', 'D', 'T', 'Y'}) {
    EXPECT_EQ(press(app, std::string(1, key)), "no junction selected: junction #0 is past the last of 0 junctions\n");
  }
  // A selection left past the end by a smaller foam.
  press(app, "r");
  press(app, "J");
  unsigned const last = app.m_junction;
  ASSERT_GT(last, 100u);
  press(app, "3");
  ASSERT_LE(app.m_foam.vertex_size(), last);
  std::size_t const junctions = app.m_foam.vertex_size();
  std::vector<double> const areas = target_areas();
  for (char key : {'S', 'D', 'T', 'Y'}) {
    std::string const out = press(app, std::string(1, key));
    EXPECT_EQ(out, "no junction selected: junction #" + std::to_string(last) + " is past the last of " +
                       std::to_string(junctions) + " junctions\n");
  }
  EXPECT_EQ(app.m_foam.vertex_size(), junctions);
  EXPECT_EQ(target_areas(), areas);
}

TEST_F(Commands, CollapseShrinksTheSelectedBubbleAndIgnoresASelectionPastTheEnd) {
  press(app, "r");
  press(app, "bb");
  std::size_t const bubbles = app.m_foam.face_size();
  std::string const out = press(app, "c");
  EXPECT_TRUE(starts_with(out, "collapsing bubble... ")) << out;
  EXPECT_TRUE(EndsWithTimingReport(out));
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  EXPECT_LE(app.m_foam.face_size(), bubbles);

  app.m_bubble = static_cast<unsigned>(app.m_foam.face_size());
  std::vector<double> const areas = target_areas();
  EXPECT_EQ(press(app, "c"), "");
  EXPECT_EQ(target_areas(), areas);
}

TEST_F(Commands, CyclingWrapsAroundBothListsOuterBubbleIncluded) {
  press(app, "r");
  unsigned const junctions = static_cast<unsigned>(app.m_foam.vertex_size());
  unsigned const bubbles = static_cast<unsigned>(app.m_foam.face_size());
  press(app, "J");
  EXPECT_EQ(app.m_junction, junctions - 1);
  press(app, "j");
  EXPECT_EQ(app.m_junction, 0u);
  press(app, "jjJ");
  EXPECT_EQ(app.m_junction, 1u);
  press(app, "B");
  EXPECT_EQ(app.m_bubble, bubbles - 1);
  press(app, "b");
  EXPECT_EQ(app.m_bubble, 0u);
  press(app, "bbbB");
  EXPECT_EQ(app.m_bubble, 2u);
}

TEST_F(Commands, CyclingOnAnEmptyFoamKeepsTheSelectionAtZero) {
  EXPECT_EQ(press(app, "jJbB"), "");
  EXPECT_EQ(app.m_junction, 0u);
  EXPECT_EQ(app.m_bubble, 0u);
  press(app, "JJBB");
  EXPECT_EQ(app.m_junction, 0u);
  EXPECT_EQ(app.m_bubble, 0u);
}

/// Parses the site print back into sites and the announced count.
std::vector<vector3_type> parse_site_print(std::string const& text, std::size_t& announced) {
  std::istringstream in(text);
  std::string line;
  std::vector<vector3_type> sites;
  while (std::getline(in, line)) {
    unsigned long count = 0;
    double x = 0, y = 0, z = 0;
    char end[4] = {};
    if (std::sscanf(line.c_str(), "SITES debug print (%lu sites):", &count) == 1) {
      announced = count;
    } else if (std::sscanf(line.c_str(), "m_sites.push_back(vector3_type(%lf, %lf, %lf%3s", &x, &y, &z, end) == 4 &&
               std::string(end) == "));") {
      sites.emplace_back(x, y, z);
    }
  }
  return sites;
}

TEST_F(Commands, SitePrintParsesBackToTheSites) {
  press(app, "1");
  std::string const out = press(app, "jp");
  EXPECT_TRUE(
      starts_with(out, "\nSITES debug print (220 sites):\n\nm_sites.push_back(vector3_type(13.871, 6.40951, 0));\n"))
      << out.substr(0, 200);
  std::string const tail = "\nm_junction = 1;\nm_quisk.permeability() = 0.1;\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  std::size_t announced = 0;
  std::vector<vector3_type> const preset = parse_site_print(out, announced);
  EXPECT_EQ(announced, 220u);
  // Preset coordinates have six significant digits: they come back exactly.
  EXPECT_EQ(preset, app.m_sites);

  press(app, "r");
  std::vector<vector3_type> const random = parse_site_print(press(app, "p"), announced);
  ASSERT_EQ(random.size(), app.m_sites.size());
  EXPECT_EQ(announced, 200u);
  for (std::size_t i = 0; i < random.size(); ++i) {
    // Six significant digits: within 5e-6 relative of each coordinate.
    EXPECT_NEAR(random[i].x, app.m_sites[i].x, 5e-6 * std::abs(app.m_sites[i].x) + 1e-300);
    EXPECT_NEAR(random[i].y, app.m_sites[i].y, 5e-6 * std::abs(app.m_sites[i].y) + 1e-300);
  }
  // A foam rebuilt from the printed sites has the same shape.
  std::size_t const faces = app.m_foam.face_size();
  app.m_sites = random;
  press(app, "R");
  EXPECT_EQ(app.m_foam.face_size(), faces);
}

TEST_F(Commands, NumbersKeepTheDefaultFormatWhateverCoutWasLeftWith) {
  press(app, "1");
  std::streamsize const saved = std::cout.precision(3);
  std::string const sites = press(app, "p");
  std::string const permeability = press(app, "k");
  std::string const timing = press(app, "e");
  std::cout.precision(saved);
  EXPECT_NE(sites.find("m_sites.push_back(vector3_type(13.871, 6.40951, 0));\n"), std::string::npos);
  EXPECT_EQ(permeability, "diffusion = 0.12\n");
  double ms = 0.0;
  ASSERT_EQ(std::sscanf(timing.c_str() + timing.rfind("done in "), "done in %lf", &ms), 1);
  EXPECT_GT(ms, 0.0);
}

TEST_F(Commands, TogglesAndFillSettings) {
  press(app, "r");
  EXPECT_EQ(press(app, "0"), "");
  EXPECT_FALSE(app.m_overlay.m_visible);
  press(app, "0");
  EXPECT_TRUE(app.m_overlay.m_visible);

  EXPECT_EQ(press(app, "="), "");
  EXPECT_TRUE(app.m_keys['=']);
  press(app, "f");
  EXPECT_FALSE(app.m_filled);
  press(app, "f");
  EXPECT_TRUE(app.m_filled);
  press(app, "vvv");
  EXPECT_NEAR(app.m_fill_intensity, 0.78, 1e-12);
  press(app, "VVVVV");
  EXPECT_NEAR(app.m_fill_intensity, 0.73, 1e-12);

  // A key without a command only flips its toggle.
  std::size_t const faces = app.m_foam.face_size();
  EXPECT_EQ(press(app, "z"), "");
  EXPECT_TRUE(app.m_keys['z']);
  EXPECT_EQ(app.m_foam.face_size(), faces);
}

TEST_F(Commands, NoiseMovesEveryJunctionBySixteenthsAtMost) {
  press(app, "r");
  std::vector<vector3_type> before;
  for (auto const& v : app.m_foam.vertices()) before.push_back(v.m_coord);
  EXPECT_EQ(press(app, "n"), "");
  std::size_t i = 0, moved = 0;
  for (auto const& v : app.m_foam.vertices()) {
    EXPECT_LE(std::abs(v.m_coord.x - before[i].x), 0.0625 + 1e-12);
    EXPECT_LE(std::abs(v.m_coord.y - before[i].y), 0.0625 + 1e-12);
    EXPECT_EQ(v.m_coord.z, before[i].z);
    if (v.m_coord != before[i]) ++moved;
    ++i;
  }
  EXPECT_GT(moved, before.size() / 2);
}

TEST_F(Commands, CtrlDragShearsAndStretchesPreservingAreas) {
  press(app, "r");
  std::vector<vector3_type> before;
  for (auto const& v : app.m_foam.vertices()) before.push_back(v.m_coord);
  std::vector<double> areas;
  for (auto const& f : app.m_foam.faces()) areas.push_back(Quarvel::kordal::compute_area(f));

  app.mouse_down(100, 100, false, true, false, true, false, false);
  EXPECT_TRUE(app.m_stretching);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_move(110, 90);  // d = (10, 10): s = 0.01, c = 0.99
  std::size_t i = 0;
  for (auto const& v : app.m_foam.vertices()) {
    EXPECT_NEAR(v.m_coord.x, 0.99 * before[i].x + 0.01 * before[i].y, 1e-12);
    EXPECT_NEAR(v.m_coord.y, before[i].y / 0.99, 1e-12);
    ++i;
  }
  i = 0;
  for (auto const& f : app.m_foam.faces()) {
    EXPECT_NEAR(Quarvel::kordal::compute_area(f), areas[i], 1e-9 * (1 + areas[i]));
    ++i;
  }
  app.mouse_up(110, 90, false, true, false, true, false, false);
  EXPECT_FALSE(app.m_stretching);
  // Without the drag, motion moves nothing.
  vector3_type const first = app.m_foam.vertices().front().m_coord;
  app.mouse_move(500, 500);
  EXPECT_EQ(app.m_foam.vertices().front().m_coord, first);
}

TEST_F(Commands, StretchStepThatWouldCollapseTheFoamIsSkipped) {
  press(app, "r");
  vector3_type const first = app.m_foam.vertices().front().m_coord;
  app.mouse_down(0, 1200, false, true, false, true, false, false);
  app.mouse_move(0, 100);  // 1100 pixels up in one step: c = -0.1
  EXPECT_EQ(app.m_foam.vertices().front().m_coord, first);
  app.mouse_move(0, 90);  // the drag goes on from the new position
  EXPECT_NE(app.m_foam.vertices().front().m_coord, first);
}

TEST_F(Commands, PlainLeftDragChangesTheSiteCountNeverBelowTen) {
  app.mouse_down(300, 300, false, false, false, true, false, false);
  EXPECT_TRUE(app.m_resizing_sites);
  app.mouse_move(320.7, 250);  // 20.7 pixels right: +20
  EXPECT_EQ(app.m_site_count, 220);
  app.mouse_move(0, 250);
  EXPECT_EQ(app.m_site_count, 10);
  app.mouse_move(5, 250);
  EXPECT_EQ(app.m_site_count, 15);
  app.mouse_up(5, 250, false, false, false, true, false, false);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_move(400, 250);
  EXPECT_EQ(app.m_site_count, 15);
  press(app, "r");
  EXPECT_EQ(app.m_sites.size(), 15u);

  // Shift or alt with the left button drive the camera, not the site count.
  app.mouse_down(0, 0, true, false, false, true, false, false);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_up(0, 0, true, false, false, true, false, false);
  app.mouse_down(0, 0, false, false, true, true, false, false);
  EXPECT_FALSE(app.m_resizing_sites);
}

TEST(FoamMenu, EntriesCarryTheKeyTheirTextShows) {
  std::set<unsigned char> keys;
  for (auto const& entry : foam_menu_entries) {
    std::string const text = entry.m_text;
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.size(), 35u) << text;
    EXPECT_EQ(text.substr(text.size() - 3), std::string("[") + static_cast<char>(entry.m_key) + "]") << text;
    keys.insert(entry.m_key);
  }
  EXPECT_EQ(keys.size(), 25u);
  EXPECT_STREQ(foam_menu_entries[0].m_text, "Genrate random foam network     [r]");
  EXPECT_STREQ(foam_menu_entries[24].m_text, "Decrease fill color intensity   [V]");
  for (auto const& entry : Quarvel::glut::controls_menu_entries) {
    std::string const text = entry.m_text;
    EXPECT_EQ(text.size(), 32u) << text;
  }
}

}  // namespace
