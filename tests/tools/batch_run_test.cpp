// froth-batch runs: the foam it builds is the window's, its loop is the
// window's idle step, its CSV holds the core's statistics, its outputs are
// whole files, and bad input ends with one line and status 2.

#include "batch_run.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "area_change.h"
#include "batch_csv.h"
#include "foam/foam_builders.h"
#include "foam/foam_file.h"
#include "foam/random_source.h"
#include "render/cairo_snapshot.h"
#include "scratch_directory.h"

namespace {

using froth_test::FoamMesh;
using froth_test::MeshIsValid;
using froth_test::ScratchDirectory;
using Quarvel::batch::BatchFoam;
using Quarvel::batch::BatchOptions;
using Quarvel::batch::parse_options;
using Quarvel::batch::ParseResult;

std::string to_text(FoamMesh const& foam) {
  std::ostringstream out;
  Quarvel::kordal::write_foam(foam, out);
  return out.str();
}

BatchOptions options_of(std::vector<std::string> const& args) {
  BatchOptions o;
  std::string error;
  EXPECT_EQ(ParseResult::run, parse_options(args, o, error)) << error;
  return o;
}

void build(std::vector<std::string> const& args, BatchFoam& state, std::string* note = nullptr) {
  BatchOptions const o = options_of(args);
  Quarvel::batch::set_parameters(o, state.m_simulator);
  std::string error, n;
  ASSERT_TRUE(Quarvel::batch::build_foam(o, state, error, n)) << error;
  if (note != nullptr) *note = n;
}

// run_batch in this process; the stderr text goes to `err`.
int run(std::vector<std::string> const& args, std::string* err = nullptr,
        volatile std::sig_atomic_t const* interrupt = nullptr) {
  BatchOptions const o = options_of(args);
  std::ostringstream messages;
  Quarvel::batch::RunEnvironment env;
  env.m_err = &messages;
  env.m_interrupt = interrupt;
  int const status = Quarvel::batch::run_batch(o, env);
  if (err != nullptr) *err = messages.str();
  return status;
}

using Row = std::map<std::string, std::string>;

std::vector<Row> read_csv(std::string const& text) {
  std::vector<Row> rows;
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> header;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream cells(line + ",");
    while (std::getline(cells, field, ',')) fields.push_back(field);
    if (header.empty()) {
      header = fields;
      continue;
    }
    EXPECT_EQ(header.size(), fields.size()) << line;
    Row row;
    for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

double value(Row const& row, std::string const& column) {
  auto const it = row.find(column);
  EXPECT_NE(row.end(), it) << column;
  return it == row.end() ? std::nan("") : std::stod(it->second);
}

// The CSV carries ten significant digits.
void expect_close(double expected, double actual, char const* what) {
  EXPECT_NEAR(expected, actual, 1e-9 * std::max(1.0, std::abs(expected))) << what;
}

void expect_row_matches(Row const& row, Quarvel::batch::FoamStatistics const& s) {
  EXPECT_EQ(s.m_cell_count, value(row, "bubbles"));
  EXPECT_EQ(s.m_vertex_count, value(row, "junctions"));
  expect_close(s.m_mean_edges, value(row, "mean_edges"), "mean_edges");
  expect_close(s.m_second_moment, value(row, "second_moment"), "second_moment");
  expect_close(s.m_mean_area, value(row, "mean_area"), "mean_area");
  expect_close(s.m_area_error, value(row, "area_error"), "area_error");
  expect_close(s.m_mean_angle, value(row, "mean_angle"), "mean_angle");
  expect_close(s.m_angle_error, value(row, "angle_error"), "angle_error");
  for (unsigned n = 3; n <= 12; ++n) {
    double const p = n < s.m_distribution.size() ? s.m_distribution[n] : 0.0;
    expect_close(p, value(row, "p" + std::to_string(n)), "p(n)");
  }
}

// --- the foam ------------------------------------------------------------------

TEST(BatchBuild, RandomSitesPresetsAndSiteFilesGiveTheWindowsFoams) {
  BatchFoam random;
  build({"--sites", "200", "--seed", "5"}, random);
  EXPECT_EQ(to_text(froth_test::make_generated_foam(5, 200)), to_text(random.m_foam));
  EXPECT_TRUE(MeshIsValid(random.m_foam));
  // Statistics are refreshed for the foam as built, the outer bubble not counted.
  EXPECT_EQ(random.m_foam.face_size() - 1, random.m_statistics.m_cell_count);

  BatchFoam preset;
  build({"--preset", "3", "--no-outer"}, preset);
  EXPECT_EQ(to_text(froth_test::make_preset_foam(3, false)), to_text(preset.m_foam));
  EXPECT_TRUE(Quarvel::kordal::find_outer_bubble(preset.m_foam).is_null());

  ScratchDirectory dir;
  std::vector<froth_test::vector3_type> sites;
  Quarvel::kordal::load_preset_sites(sites, 3);
  std::ostringstream file;
  file.precision(17);
  file << "# preset 3\n";
  for (auto const& s : sites) file << s.x << ' ' << s.y << "\n\n";
  dir.write("sites.txt", file.str());
  BatchFoam from_file;
  build({"--site-file", dir.file("sites.txt")}, from_file);
  EXPECT_EQ(to_text(froth_test::make_preset_foam(3)), to_text(from_file.m_foam));
}

TEST(BatchBuild, DomainScalesTheRandomSites) {
  BatchFoam state;
  build({"--sites", "2000", "--seed", "1", "--domain", "200", "100"}, state);
  double max_x = 0.0, max_y = 0.0;
  for (auto const& v : state.m_foam.vertices()) {
    max_x = std::max(max_x, std::abs(v.m_coord.x));
    max_y = std::max(max_y, std::abs(v.m_coord.y));
  }
  // Interior Voronoi junctions lie inside the sites' hull, which nearly fills
  // the 200 x 100 rectangle.
  EXPECT_LE(max_x, 100.0);
  EXPECT_GT(max_x, 95.0);
  EXPECT_LE(max_y, 50.0);
  EXPECT_GT(max_y, 45.0);
}

TEST(BatchBuild, LoadKeepsTheSavedFoamAndItsFilmTension) {
  ScratchDirectory dir;
  FoamMesh saved = froth_test::make_generated_foam(9, 60);
  saved.m_film_tension = 0.3;
  saved.faces().front().m_pressure = 1.25;
  std::string error;
  ASSERT_TRUE(Quarvel::kordal::save_foam(saved, dir.file("a.foam"), error)) << error;

  BatchFoam state;
  build({"--load", dir.file("a.foam")}, state);
  EXPECT_EQ(to_text(saved), to_text(state.m_foam));
  EXPECT_EQ(0.3, state.m_simulator.m_film_tension);
  EXPECT_EQ(saved.face_size() - 1, state.m_statistics.m_cell_count);

  BatchFoam overridden;
  build({"--load", dir.file("a.foam"), "--film-tension", "0.2"}, overridden);
  EXPECT_EQ(0.2, overridden.m_foam.m_film_tension);
  EXPECT_EQ(0.2, overridden.m_simulator.m_film_tension);
}

TEST(BatchBuild, DegenerateSiteSetsGiveAnEmptyFoamAndSaySo) {
  ScratchDirectory dir;
  struct Case {
    char const* sites;
    char const* reason;
  };
  for (Case const& c : {Case{"1 1\n2 2\n1 1\n", "fewer than three distinct sites"},
                        Case{"0 0\n1 1\n2 2\n5 5\n", "all sites lie on one line"}, Case{"", "fewer than three"},
                        Case{"0 0\n4 0\n0 4\n4 4\n", "no site lies inside"}}) {
    SCOPED_TRACE(c.sites);
    dir.write("s.txt", c.sites);
    BatchFoam state;
    std::string note;
    build({"--site-file", dir.file("s.txt")}, state, &note);
    EXPECT_EQ(0u, state.m_foam.face_size());
    EXPECT_EQ(0u, state.m_foam.vertex_size());
    EXPECT_EQ(dir.file("s.txt") + ": ", note.substr(0, dir.file("s.txt").size() + 2));
    EXPECT_NE(std::string::npos, note.find(c.reason)) << note;
    EXPECT_NE(std::string::npos, note.find("the foam is empty")) << note;
  }
  BatchFoam few;
  std::string note;
  build({"--sites", "2"}, few, &note);
  EXPECT_EQ("--sites 2: fewer than three distinct sites: the foam is empty", note);
}

TEST(BatchBuild, BadSiteFilesAreRefusedWithFileAndLine) {
  ScratchDirectory dir;
  struct Case {
    char const* text;
    char const* message;
  };
  for (Case const& c : {Case{"1 2\n# c\n3 x\n", ":3: 'x' is not a number"}, Case{"1 2\n3 4 5\n", ":2: a site line"},
                        Case{"nan 1\n", ":1: 'nan' is not finite"}, Case{"1\n", ":1: a site line"}}) {
    dir.write("s.txt", c.text);
    BatchFoam state;
    std::string error, note;
    EXPECT_FALSE(Quarvel::batch::build_foam(options_of({"--site-file", dir.file("s.txt")}), state, error, note));
    EXPECT_EQ(dir.file("s.txt") + c.message, error.substr(0, dir.file("s.txt").size() + std::strlen(c.message)))
        << error;
  }
  BatchFoam state;
  std::string error, note;
  EXPECT_FALSE(Quarvel::batch::build_foam(options_of({"--site-file", dir.file("none.txt")}), state, error, note));
  EXPECT_EQ(dir.file("none.txt") + ": cannot open (No such file or directory)", error);
}

// --- the loop --------------------------------------------------------------------

TEST(BatchLoop, IdleStepIsTheWindowsDiffuseThenSimulate) {
  BatchFoam state;
  build({"--sites", "120", "--seed", "31"}, state);
  std::uint32_t t1 = 0, t2 = 0;
  for (int i = 0; i < 12; ++i) {
    double seconds = -1.0;
    auto const events = Quarvel::batch::idle_step(state, seconds);
    EXPECT_GE(seconds, 0.0);
    EXPECT_EQ(seconds, state.m_statistics.m_step_time);
    t1 += events.m_t1;
    t2 += events.m_t2;
    ASSERT_TRUE(MeshIsValid(state.m_foam));
  }
  EXPECT_EQ(t1, state.m_statistics.m_t1_total);
  EXPECT_EQ(t2, state.m_statistics.m_t2_total);
  EXPECT_EQ(0u, state.m_simulator.m_t1_count);
  EXPECT_EQ(0u, state.m_simulator.m_t2_count);

  // The same loops written out as the window runs them, from the same seed.
  FoamMesh window = froth_test::make_generated_foam(31, 120);
  Quarvel::kordal::FoamSimulator sim(&window);
  Quarvel::batch::set_parameters(BatchOptions{}, sim);
  std::uint32_t window_t1 = 0, window_t2 = 0;
  for (int i = 0; i < 12; ++i) {
    sim.diffuse();
    sim.simulate(sim.m_max_iterations, sim.m_tau);
    window_t1 += sim.m_t1_count;
    window_t2 += sim.m_t2_count;
    sim.m_t1_count = sim.m_t2_count = 0;
  }
  EXPECT_EQ(to_text(window), to_text(state.m_foam));
  EXPECT_EQ(window_t1, t1);
  EXPECT_EQ(window_t2, t2);
}

TEST(BatchLoop, RefreshMovesTheSimulatorsCountsIntoTheTotals) {
  BatchFoam state;
  build({"--preset", "3"}, state);
  state.m_statistics.m_t1_total = 10;
  state.m_simulator.m_t1_count = 3;
  state.m_simulator.m_t2_count = 2;
  auto const events = Quarvel::batch::refresh_statistics(state, 0.25);
  EXPECT_EQ(3u, events.m_t1);
  EXPECT_EQ(2u, events.m_t2);
  EXPECT_EQ(13u, state.m_statistics.m_t1_total);
  EXPECT_EQ(2u, state.m_statistics.m_t2_total);
  EXPECT_EQ(0u, state.m_simulator.m_t1_count);
  EXPECT_EQ(0.25, state.m_statistics.m_step_time);
}

TEST(BatchLoop, AreaChangesFollowTheBubblesThroughALoop) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 2, true);
  Quarvel::batch::AreaChangeTracker tracker;
  tracker.before(foam);
  // A higher pressure in one inner bubble bulges its films out: it gains
  // what its neighbours lose, so the mean change of the 19 hexagons is 0.
  auto touches_outer = [&](auto const& f) {
    if (f.m_is_outer) return true;
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      if (foam.get_face(foam.get_halfedge(c->m_twin).m_face).m_is_outer) return true;
    }
    return false;
  };
  auto inner = foam.faces().begin();
  while (touches_outer(*inner)) ++inner;
  double const area_before = Quarvel::kordal::compute_area(*inner);
  inner->m_pressure = 1.5;
  auto const changes = tracker.after(foam);
  for (unsigned n = 3; n <= 12; ++n) EXPECT_EQ(n == 6 ? 19u : 0u, changes.m_count[n - 3]) << n;
  EXPECT_NEAR(0.0, changes.m_mean[6 - 3], 1e-12);
  EXPECT_GT(Quarvel::kordal::compute_area(*inner), area_before + 0.01);

  // A bubble that a loop removes, or whose film count changes, is left out.
  tracker.before(foam);
  auto const removed = foam.faces().begin()->m_self;
  foam.remove_face(removed);
  auto const after = tracker.after(foam);
  EXPECT_GT(19u, after.m_count[6 - 3]);
}

// --- whole runs ------------------------------------------------------------------

TEST(BatchRun, CsvHasTheColumnsAndTheCoresStatistics) {
  ScratchDirectory dir;
  std::string err;
  ASSERT_EQ(0, run({"--sites", "80", "--seed", "12", "--loops", "8", "--csv", dir.file("run.csv"), "--save",
                    dir.file("end.foam")},
                   &err))
      << err;
  std::string const csv = dir.read("run.csv");
  EXPECT_EQ(Quarvel::batch::csv_header(), csv.substr(0, csv.find('\n') + 1));
  std::vector<std::string> expected = {"loop",      "seconds",    "bubbles",    "junctions",  "t1",
                                       "t2",        "t1_total",   "t2_total",   "mean_edges", "second_moment",
                                       "mean_area", "area_error", "mean_angle", "angle_error"};
  for (int n = 3; n <= 12; ++n) expected.push_back("p" + std::to_string(n));
  for (int n = 3; n <= 12; ++n) expected.push_back("da" + std::to_string(n));
  EXPECT_EQ(expected, Quarvel::batch::csv_columns());

  auto const rows = read_csv(csv);
  ASSERT_EQ(9u, rows.size());
  double t1 = 0, t2 = 0, seconds = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(double(i), value(rows[i], "loop"));
    t1 += value(rows[i], "t1");
    t2 += value(rows[i], "t2");
    EXPECT_EQ(t1, value(rows[i], "t1_total"));
    EXPECT_EQ(t2, value(rows[i], "t2_total"));
    EXPECT_GE(value(rows[i], "seconds"), seconds);
    seconds = value(rows[i], "seconds");
    double p = 0;
    for (int n = 3; n <= 12; ++n) p += value(rows[i], "p" + std::to_string(n));
    EXPECT_NEAR(1.0, p, 1e-8);
  }
  EXPECT_EQ("", rows[0].at("da6"));
  EXPECT_NE("", rows[1].at("da6"));

  BatchFoam built;
  build({"--sites", "80", "--seed", "12"}, built);
  expect_row_matches(rows.front(), built.m_statistics);

  FoamMesh end;
  std::string error;
  ASSERT_TRUE(Quarvel::kordal::load_foam(dir.file("end.foam"), end, error)) << error;
  EXPECT_TRUE(MeshIsValid(end));
  Quarvel::batch::FoamStatistics stats(&end);
  stats.update();
  expect_row_matches(rows.back(), stats);

  // One summary line, and no progress bar off a terminal.
  EXPECT_EQ(std::string::npos, err.find('\r'));
  EXPECT_EQ(0, err.rfind("froth-batch: 8 loops in ", 0)) << err;
  EXPECT_NE(std::string::npos, err.find("; stopped after --loops 8\n")) << err;
  EXPECT_EQ(err.size() - 1, err.find('\n'));
}

TEST(BatchRun, SameSeedSameRunOtherSeedOtherRun) {
  ScratchDirectory dir;
  auto run_with = [&](char const* seed, char const* name) {
    std::string err;
    EXPECT_EQ(0, run({"--sites", "70", "--seed", seed, "--loops", "10", "--csv", dir.file(std::string(name) + ".csv"),
                      "--save", dir.file(std::string(name) + ".foam")},
                     &err))
        << err;
    auto rows = read_csv(dir.read(std::string(name) + ".csv"));
    for (auto& row : rows) row.erase("seconds");
    return rows;
  };
  auto const a = run_with("77", "a");
  auto const b = run_with("77", "b");
  auto const c = run_with("78", "c");
  EXPECT_EQ(a, b);
  EXPECT_EQ(dir.read("a.foam"), dir.read("b.foam"));
  EXPECT_NE(dir.read("a.foam"), dir.read("c.foam"));
}

TEST(BatchRun, StopsAtTheBubbleCountWithTheOuterBubbleCounted) {
  ScratchDirectory dir;
  std::string err;
  ASSERT_EQ(0, run({"--sites", "80", "--seed", "3", "--until-bubbles", "55", "--csv", dir.file("run.csv")}, &err))
      << err;
  auto const rows = read_csv(dir.read("run.csv"));
  ASSERT_GE(rows.size(), 2u);
  // Closed by the outer bubble, every other bubble is measured.
  EXPECT_LE(value(rows.back(), "bubbles") + 1, 55.0);
  EXPECT_GT(value(rows[rows.size() - 2], "bubbles") + 1, 55.0);
  EXPECT_NE(std::string::npos, err.find("stopped at 55 bubbles or fewer")) << err;
}

TEST(BatchRun, LoopsZeroOnlyBuildsAndWrites) {
  ScratchDirectory dir;
  ASSERT_EQ(0, run({"--preset", "1", "--loops", "0", "--csv", dir.file("run.csv"), "--save", dir.file("a.foam"),
                    "--snapshot", dir.file("a.svg")}));
  EXPECT_EQ(1u, read_csv(dir.read("run.csv")).size());
  EXPECT_EQ(to_text(froth_test::make_preset_foam(1)), dir.read("a.foam"));
  EXPECT_EQ(0u, dir.read("a.svg").find("<?xml"));
  EXPECT_EQ((std::vector<std::string>{"a.foam", "a.svg", "run.csv"}), dir.entries());
}

TEST(BatchRun, NumberedOutputsAtTheStartAndEveryKthLoop) {
  ScratchDirectory dir;
  ASSERT_EQ(0, run({"--sites", "50", "--seed", "8", "--loops", "7", "--csv", dir.file("run.csv"), "--save-every", "3",
                    "--save-prefix", dir.file("f-"), "--snapshot-every", "4", "--snapshot-prefix", dir.file("s-"),
                    "--snapshot-format", "svg"}));
  EXPECT_EQ((std::vector<std::string>{"f-000000.foam", "f-000003.foam", "f-000006.foam", "run.csv", "s-000000.svg",
                                      "s-000004.svg"}),
            dir.entries());
  for (char const* name : {"f-000000.foam", "f-000003.foam", "f-000006.foam"}) {
    FoamMesh foam;
    std::string error;
    ASSERT_TRUE(Quarvel::kordal::load_foam(dir.file(name), foam, error)) << error;
    EXPECT_TRUE(MeshIsValid(foam));
  }
}

TEST(BatchRun, AnOutputThatFailsStopsTheRunButTheOthersAreWritten) {
  ScratchDirectory dir;
  // The third numbered foam cannot be written: its name is a directory.
  ASSERT_EQ(0, ::mkdir(dir.file("f-000002.foam").c_str(), 0755));
  std::string err;
  EXPECT_EQ(1, run({"--preset", "3", "--seed", "1", "--loops", "5", "--csv", dir.file("run.csv"), "--save",
                    dir.file("end.foam"), "--save-every", "2", "--save-prefix", dir.file("f-")},
                   &err));
  EXPECT_EQ(0u, err.find(dir.file("f-000002.foam") + ": cannot open for writing (Is a directory)\n")) << err;
  EXPECT_NE(std::string::npos, err.find("froth-batch: 2 loops in ")) << err;
  EXPECT_NE(std::string::npos, err.find("stopped by an output that could not be written")) << err;
  EXPECT_EQ(3u, read_csv(dir.read("run.csv")).size());
  FoamMesh end;
  std::string error;
  ASSERT_TRUE(Quarvel::kordal::load_foam(dir.file("end.foam"), end, error)) << error;
  EXPECT_EQ((std::vector<std::string>{"end.foam", "f-000000.foam", "f-000002.foam", "run.csv"}), dir.entries());
}

TEST(BatchRun, InterruptFinishesTheOutputs) {
  ScratchDirectory dir;
  volatile std::sig_atomic_t interrupted = 1;
  std::string err;
  EXPECT_EQ(130,
            run({"--preset", "2", "--csv", dir.file("run.csv"), "--save", dir.file("a.foam")}, &err, &interrupted));
  EXPECT_EQ(1u, read_csv(dir.read("run.csv")).size());
  EXPECT_EQ(to_text(froth_test::make_preset_foam(2)), dir.read("a.foam"));
  EXPECT_NE(std::string::npos, err.find("interrupted")) << err;
}

TEST(BatchRun, EquilibrateStopsAtEquilibrium) {
  ScratchDirectory dir;
  FoamMesh honeycomb;
  froth_test::make_hexagon_foam(honeycomb, 2, true);
  std::string error;
  ASSERT_TRUE(Quarvel::kordal::save_foam(honeycomb, dir.file("h.foam"), error)) << error;
  std::string err;
  ASSERT_EQ(0, run({"--load", dir.file("h.foam"), "--equilibrate", "--csv", dir.file("h.csv")}, &err)) << err;
  EXPECT_EQ(0, err.rfind("froth-batch: equilibrated in 0 loops", 0)) << err;

  // A small foam that equilibrates in a few hundred loops.
  ASSERT_EQ(0, run({"--sites", "25", "--seed", "3", "--equilibrate", "--loops", "2000", "--csv", dir.file("p.csv"),
                    "--save", dir.file("p.foam")},
                   &err))
      << err;
  EXPECT_EQ(0, err.rfind("froth-batch: equilibrated in ", 0)) << err;
  FoamMesh end;
  ASSERT_TRUE(Quarvel::kordal::load_foam(dir.file("p.foam"), end, error)) << error;
  auto const r = Quarvel::batch::largest_residuals(end);
  EXPECT_LT(r.m_area, Quarvel::batch::equilibrium_area_tolerance);
  EXPECT_LT(r.m_angle, Quarvel::batch::equilibrium_angle_tolerance);
  // No diffusion: no target area changed.
  FoamMesh const start = froth_test::make_generated_foam(3, 25);
  double start_targets = 0, end_targets = 0;
  for (auto const& f : start.faces()) start_targets += f.m_target_area;
  for (auto const& f : end.faces()) end_targets += f.m_target_area;
  EXPECT_EQ(start.face_size(), end.face_size());
  EXPECT_NEAR(start_targets, end_targets, 1e-9 * start_targets);
}

// --- pictures ----------------------------------------------------------------------

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  // (r, g, b) of pixel (x, y), each 0 to 255.
  std::array<int, 3> rgb(int x, int y) const {
    std::uint32_t const p = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    return {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
  }
};

cairo_status_t read_from(void* closure, unsigned char* data, unsigned int length) {
  auto* in = static_cast<std::istream*>(closure);
  in->read(reinterpret_cast<char*>(data), length);
  return in->gcount() == std::streamsize(length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

Picture decode_png(std::string const& bytes) {
  std::istringstream in(bytes);
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(read_from, &in);
  Picture p;
  EXPECT_EQ(CAIRO_STATUS_SUCCESS, cairo_surface_status(s));
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    int const stride = cairo_image_surface_get_stride(s);
    unsigned char const* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < p.height; ++y) {
      auto const* row = reinterpret_cast<std::uint32_t const*>(data + std::size_t(y) * std::size_t(stride));
      p.pixels.insert(p.pixels.end(), row, row + p.width);
    }
  }
  cairo_surface_destroy(s);
  return p;
}

void expect_colour(std::array<int, 3> const& expected, std::array<int, 3> const& actual, char const* where) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(expected[i], actual[i], 2) << where << " channel " << i;
}

// The colour of normalised pressure t: (0.05, 0.3, 1.0) t.
std::array<int, 3> blue(double t) {
  return {int(std::lround(0.05 * t * 255)), int(std::lround(0.3 * t * 255)), int(std::lround(t * 255))};
}

TEST(BatchSnapshot, BubblesAreFilledByPressureAndFilmsBulgeIntoLowerPressure) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, true);
  // The bubble nearest the origin is the centre one.
  auto centre = foam.faces().begin();
  double best = 1e9;
  for (auto f = foam.faces().begin(); f != foam.faces().end(); ++f) {
    if (f->m_is_outer) continue;
    double cx = 0, cy = 0, n = 0;
    for (FoamMesh::const_face_halfedge_circulator c(foam, f->m_self); c; ++c, ++n) {
      cx += foam.get_vertex(foam.origin(c.handle())).m_coord.x;
      cy += foam.get_vertex(foam.origin(c.handle())).m_coord.y;
    }
    if (std::hypot(cx / n, cy / n) < best) {
      best = std::hypot(cx / n, cy / n);
      centre = f;
    }
  }
  ASSERT_LT(best, 1e-9);

  Quarvel::kordal::SnapshotStyle style;
  style.m_width = 500;
  style.m_height = 500;
  style.m_view = {-5.0, -5.0, 5.0, 5.0};  // 50 pixels a unit, origin at (250, 250)
  style.m_line_width = 5.0;
  auto pixel = [](double x, double y) { return std::array<int, 2>{int(250 + 50 * x), int(250 - 50 * y)}; };

  // Pressures 2 and 1 make R = 2 gamma / dp = 0.5, a half circle on each
  // unit film: the films of the centre bulge 25 pixels into its neighbours,
  // or the neighbours' into the centre.
  for (auto const& pressures : {std::array<double, 2>{2.0, 1.0}, std::array<double, 2>{1.0, 2.0}}) {
    double const p = pressures[0], rest = pressures[1];
    SCOPED_TRACE(p);
    for (auto& f : foam.faces()) f.m_pressure = rest;
    centre->m_pressure = p;
    std::ostringstream png;
    std::string error;
    ASSERT_TRUE(Quarvel::kordal::write_snapshot(foam, Quarvel::kordal::SnapshotFormat::png, style, png, error))
        << error;
    Picture const picture = decode_png(png.str());
    ASSERT_EQ(500, picture.width);
    ASSERT_EQ(500, picture.height);

    // The outer bubble takes no part in the range.
    double const low = 0.75 * std::min(p, rest), high = std::max(p, rest);
    std::array<int, 3> const centre_colour = blue((p - low) / (high - low));
    std::array<int, 3> const other_colour = blue((rest - low) / (high - low));
    auto const c = pixel(0.0, 0.0);
    expect_colour(centre_colour, picture.rgb(c[0], c[1]), "centre");
    expect_colour({255, 255, 255}, picture.rgb(2, 2), "outside the foam");
    for (FoamMesh::const_face_halfedge_circulator h(foam, centre->m_self); h; ++h) {
      auto const& a = foam.get_vertex(foam.origin(h.handle())).m_coord;
      auto const& b = foam.get_vertex(foam.destination(h.handle())).m_coord;
      // Clockwise loops: the bubble lies right of a->b, outward is left.
      double const L = std::hypot(b.x - a.x, b.y - a.y);
      double const ox = -(b.y - a.y) / L, oy = (b.x - a.x) / L;
      double const mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
      double const s = p > rest ? 0.25 : -0.25;  // halfway into the bulge
      auto const in_bulge = pixel(mx + s * ox, my + s * oy);
      auto const beyond = pixel(mx + 3 * s * ox, my + 3 * s * oy);
      auto const apex = pixel(mx + 2 * s * ox, my + 2 * s * oy);
      expect_colour(p > rest ? centre_colour : other_colour, picture.rgb(in_bulge[0], in_bulge[1]), "bulge");
      expect_colour(p > rest ? other_colour : centre_colour, picture.rgb(beyond[0], beyond[1]), "beyond");
      expect_colour({0, 0, 0}, picture.rgb(apex[0], apex[1]), "the film's arc");
    }
  }
}

TEST(BatchSnapshot, FormatsFollowTheExtensionAndSizesMustBePositive) {
  Quarvel::kordal::SnapshotFormat f;
  EXPECT_TRUE(Quarvel::kordal::snapshot_format_from_path("a/b.SVG", f));
  EXPECT_EQ(Quarvel::kordal::SnapshotFormat::svg, f);
  EXPECT_TRUE(Quarvel::kordal::snapshot_format_from_path("b.pdf", f));
  EXPECT_EQ(Quarvel::kordal::SnapshotFormat::pdf, f);
  EXPECT_FALSE(Quarvel::kordal::snapshot_format_from_path("a.svg/b", f));
  EXPECT_FALSE(Quarvel::kordal::snapshot_format_from_path("png", f));
  Quarvel::kordal::SnapshotStyle style;
  style.m_width = 0;
  std::ostringstream out;
  std::string error;
  EXPECT_FALSE(Quarvel::kordal::write_snapshot(froth_test::make_preset_foam(3), Quarvel::kordal::SnapshotFormat::png,
                                               style, out, error));
  EXPECT_EQ("snapshot size must be positive", error);
  EXPECT_TRUE(out.str().empty());
}

// --- the program ---------------------------------------------------------------------

struct Ran {
  int status = -1;
  std::string out;
  std::string err;
};

Ran run_program(std::string const& args) {
  ScratchDirectory io;
  std::string const command =
      std::string("'") + FROTH_BATCH_PROGRAM + "' " + args + " >'" + io.file("out") + "' 2>'" + io.file("err") + "'";
  int const raw = std::system(command.c_str());
  Ran r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = io.read("out");
  r.err = io.read("err");
  return r;
}

TEST(BatchProgram, BadInputEndsWithOneLineStatusTwoAndNoOutputFile) {
  ScratchDirectory dir;
  dir.write("bad.foam",
            "froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 3\n0 0\n0 1\n1 0\nbubbles 1\n"
            "1 1 0 3 0 1 7\n");
  std::string const outputs = " --csv '" + dir.file("run.csv") + "' --save '" + dir.file("end.foam") +
                              "' --snapshot '" + dir.file("end.png") + "'";
  Ran const bad = run_program("--load '" + dir.file("bad.foam") + "'" + outputs);
  EXPECT_EQ(2, bad.status);
  EXPECT_EQ(dir.file("bad.foam") + ":9: junction index 7 out of range (0..2)\n", bad.err);
  EXPECT_EQ(std::vector<std::string>{"bad.foam"}, dir.entries());

  Ran const missing = run_program("--load '" + dir.file("none.foam") + "'" + outputs);
  EXPECT_EQ(2, missing.status);
  EXPECT_EQ(dir.file("none.foam") + ": cannot open (No such file or directory)\n", missing.err);

  Ran const unwritable =
      run_program("--preset 3 --save '" + dir.file("no/dir/a.foam") + "' --csv '" + dir.file("run.csv") + "'");
  EXPECT_EQ(2, unwritable.status);
  EXPECT_EQ(0u, unwritable.err.find(dir.file("no/dir/a.foam") + ": cannot create a file there")) << unwritable.err;
  EXPECT_EQ(std::vector<std::string>{"bad.foam"}, dir.entries());

  Ran const option = run_program("--sites 10 --loop 3");
  EXPECT_EQ(2, option.status);
  EXPECT_EQ("froth-batch: unknown option '--loop' (see --help)\n", option.err);
  EXPECT_EQ("", option.out);
}

TEST(BatchProgram, HelpGoesToStandardOutputAndCsvDefaultsToIt) {
  Ran const help = run_program("--help");
  EXPECT_EQ(0, help.status);
  EXPECT_EQ(0u, help.out.find("usage: froth-batch [options]"));

  Ran const run = run_program("--preset 3 --seed 1 --loops 2");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(3u, read_csv(run.out).size());
  EXPECT_EQ(0u, run.err.find("froth-batch: 2 loops in ")) << run.err;
}

}  // namespace
