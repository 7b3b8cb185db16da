// froth-batch runs: the foam it builds is the window's, its loop is the
// window's idle step, its CSV holds the core's statistics, and its outputs are
// whole files even when one of them fails. The built program's exit statuses
// and streams are checked by check_batch_outputs.py.

#include "batch_run.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "area_change.h"
#include "foam/coarsening_harness.h"
#include "foam/foam_file.h"
#include "render/cairo_snapshot.h"
#include "render/three_bubble_foam.h"
#include "scratch_directory.h"

namespace {

using froth_test::FoamMesh;
using froth_test::MeshIsValid;
using froth_test::to_text;
using Quarvel::batch::BatchFoam;
namespace kordal = Quarvel::kordal;

/// A saved foam's text without the generator's line, which the run adds.
std::string without_generator(std::string text) {
  auto const at = text.find("generator ");
  return at == std::string::npos ? text : text.substr(0, at);
}

/// A scratch directory and command lines run in it; in a line, "@name"
/// stands for the file `name` of the directory.
class Batch : public ::testing::Test {
 protected:
  Quarvel::batch::BatchOptions options(std::string const& line) const {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w[0] == '@' ? dir.file(w.substr(1)) : w);
    Quarvel::batch::BatchOptions o;
    std::string error;
    EXPECT_EQ(Quarvel::batch::ParseResult::run, Quarvel::batch::parse_options(words, o, error)) << error;
    return o;
  }

  /// The foam as froth-batch builds it; returns the note.
  std::string build(std::string const& line, BatchFoam& state) const {
    auto const o = options(line);
    Quarvel::batch::set_parameters(o, state.m_simulator);
    std::string error, note;
    EXPECT_TRUE(Quarvel::batch::build_foam(o, state, error, note)) << error;
    return note;
  }

  /// run_batch in this process, expected to end with `status`; returns its
  /// standard error.
  std::string run(std::string const& line, int status = 0,
                  volatile std::sig_atomic_t const* interrupt = nullptr) const {
    std::ostringstream err;
    Quarvel::batch::RunEnvironment env;
    env.m_err = &err;
    env.m_interrupt = interrupt;
    EXPECT_EQ(status, Quarvel::batch::run_batch(options(line), env)) << err.str();
    return err.str();
  }

  FoamMesh load(std::string const& name) const {
    FoamMesh foam;
    std::string error;
    EXPECT_TRUE(kordal::load_foam(dir.file(name), foam, error)) << error;
    EXPECT_TRUE(MeshIsValid(foam));
    return foam;
  }

  froth_test::ScratchDirectory dir;
};
using BatchBuild = Batch;
using BatchLoop = Batch;
using BatchRun = Batch;

using Row = std::map<std::string, std::string>;

std::vector<Row> read_csv(std::string const& text) {
  std::vector<Row> rows;
  std::istringstream lines(text);
  std::vector<std::string> header;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line + ",");
    for (std::string field; std::getline(cells, field, ',');) fields.push_back(field);
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

/// The row holds the statistics, with the CSV's ten significant digits.
void expect_row_matches(Row const& row, Quarvel::batch::FoamStatistics const& s) {
  std::vector<std::pair<std::string, double>> columns = {
      {"bubbles", s.m_cell_count},          {"junctions", s.m_vertex_count}, {"mean_edges", s.m_mean_edges},
      {"second_moment", s.m_second_moment}, {"mean_area", s.m_mean_area},    {"area_error", s.m_area_error},
      {"mean_angle", s.m_mean_angle},       {"angle_error", s.m_angle_error}};
  for (unsigned n = 3; n <= 12; ++n) {
    columns.emplace_back("p" + std::to_string(n), n < s.m_distribution.size() ? s.m_distribution[n] : 0.0);
  }
  for (auto const& [name, expected] : columns) {
    EXPECT_NEAR(expected, value(row, name), 1e-9 * std::max(1.0, std::abs(expected))) << name;
  }
}

// Random sites (their domain defaulting to the window's), presets and site
// files give the window's foams; a loaded foam keeps its film tension unless
// one is given. Statistics are refreshed for the foam as built, the outer
// bubble not counted.
TEST_F(BatchBuild, RandomSitesPresetsSiteFilesAndLoadsGiveTheWindowsFoams) {
  BatchFoam random, preset, from_file, loaded, overridden, wide;
  build("--sites 200 --seed 5", random);
  EXPECT_EQ(to_text(froth_test::make_generated_foam(5, 200)), to_text(random.m_foam));
  EXPECT_EQ(random.m_foam.face_size() - 1, random.m_statistics.m_cell_count);
  build("--preset 3 --no-outer", preset);
  EXPECT_EQ(to_text(froth_test::make_preset_foam(3, false)), to_text(preset.m_foam));

  std::vector<froth_test::vector3_type> sites;
  kordal::load_preset_sites(sites, 3);
  std::ostringstream file;
  file.precision(17);
  file << "# preset 3\n";
  for (auto const& s : sites) file << s.x << ' ' << s.y << "\n\n";
  dir.write("sites.txt", file.str());
  build("--site-file @sites.txt", from_file);
  EXPECT_EQ(to_text(froth_test::make_preset_foam(3)), to_text(from_file.m_foam));

  FoamMesh saved = froth_test::make_generated_foam(9, 60);
  saved.m_film_tension = 0.3;
  saved.faces().front().m_pressure = 1.25;
  std::string error;
  ASSERT_TRUE(kordal::save_foam(saved, dir.file("a.foam"), error)) << error;
  build("--load @a.foam", loaded);
  EXPECT_EQ(to_text(saved), to_text(loaded.m_foam));
  EXPECT_EQ(0.3, loaded.m_simulator.m_film_tension);
  build("--load @a.foam --film-tension 0.2", overridden);
  EXPECT_EQ(std::make_pair(0.2, 0.2),
            std::make_pair(overridden.m_foam.m_film_tension, overridden.m_simulator.m_film_tension));

  // Interior junctions lie inside the sites' hull, which nearly fills the
  // 200 x 100 rectangle.
  build("--sites 2000 --seed 1 --domain 200 100", wide);
  double max_x = 0.0, max_y = 0.0;
  for (auto const& v : wide.m_foam.vertices())
    max_x = std::max(max_x, std::abs(v.m_coord.x)), max_y = std::max(max_y, std::abs(v.m_coord.y));
  EXPECT_TRUE(95.0 < max_x && max_x <= 100.0 && 45.0 < max_y && max_y <= 50.0) << max_x << ", " << max_y;
}

TEST_F(BatchBuild, SitesWithoutAFoamAreNotedAndBadSiteFilesRefusedWithFileAndLine) {
  struct Case {
    std::string text;
    bool builds;
    char const* message;  // after the file's name
  };
  for (Case const& c : {
           Case{"1 1\n2 2\n1 1\n", true, ": fewer than three distinct sites: the foam is empty"},
           Case{"", true, ": fewer than three distinct sites: the foam is empty"},
           Case{"0 0\n1 1\n2 2\n5 5\n", true, ": all sites lie on one line: the foam is empty"},
           Case{"0 0\n4 0\n0 4\n4 4\n", true, ": no site lies inside the others' hull: the foam is empty"},
           Case{"1 2\n# c\n3 x\n", false, ":3: 'x' is not a number"},
           Case{"1 2\n3 4 5\n", false, ":2: a site line holds 'x y', found 3 fields"},
           Case{"nan 1\n", false, ":1: 'nan' is not finite"},
           Case{"1\n", false, ":1: a site line holds 'x y', found 1 fields"},
           Case{std::string("1 2\0", 4), false, ":1: '2?' is not a number"},
           Case{"1 2\n" + std::string(2 << 20, '\0'), false, ":2: line longer than 1048576 bytes"},
       }) {
    SCOPED_TRACE(c.text.substr(0, 20));
    dir.write("s.txt", c.text);
    BatchFoam state;
    std::string error, note;
    EXPECT_EQ(c.builds, Quarvel::batch::build_foam(options("--site-file @s.txt"), state, error, note));
    EXPECT_EQ(dir.file("s.txt") + c.message, c.builds ? note : error);
    EXPECT_EQ(0u, state.m_foam.face_size() + state.m_foam.vertex_size());
  }
  BatchFoam few, state;
  EXPECT_EQ("--sites 2: fewer than three distinct sites: the foam is empty", build("--sites 2", few));
  std::string error, note;
  EXPECT_FALSE(Quarvel::batch::build_foam(options("--site-file @none.txt"), state, error, note));
  EXPECT_EQ(dir.file("none.txt") + ": cannot open (No such file or directory)", error);
}

// The default loop is the window's: its parameters, diffuse, then simulate.
// The step's time and event counts go into the statistics, the simulator's
// counters are zeroed. (The events it returns are the CSV's t1 and t2.)
TEST_F(BatchLoop, IdleStepIsTheWindowsDiffuseThenSimulate) {
  BatchFoam state;
  build("--sites 120 --seed 31", state);
  for (int i = 0; i < 12; ++i) {
    double seconds = -1.0;
    Quarvel::batch::idle_step(state, seconds);
    EXPECT_TRUE(seconds >= 0.0 && seconds == state.m_statistics.m_step_time) << seconds;
  }
  FoamMesh window = froth_test::make_generated_foam(31, 120);
  kordal::FoamSimulator sim(&window);
  froth_test::configure_like_the_window(sim);
  for (int i = 0; i < 12; ++i) {
    sim.diffuse();
    sim.simulate(sim.m_max_iterations, sim.m_tau);
  }
  EXPECT_EQ(to_text(window), to_text(state.m_foam));
  EXPECT_EQ(std::make_pair(sim.m_t1_count, sim.m_t2_count),
            std::make_pair(state.m_statistics.m_t1_total, state.m_statistics.m_t2_total));
  EXPECT_EQ(0u, state.m_simulator.m_t1_count + state.m_simulator.m_t2_count);
}

// A higher pressure in one inner bubble bulges its films out: it gains what
// its neighbours lose, so the mean change of the 19 hexagons is 0. A bubble
// that a loop removes, or whose film count changes, is left out.
TEST_F(BatchLoop, AreaChangesFollowTheBubblesThroughALoop) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 2, true);
  Quarvel::batch::AreaChangeTracker tracker;
  tracker.before(foam);
  auto& inner = foam.faces().front();  // the centre
  double const area_before = kordal::compute_area(inner);
  inner.m_pressure = 1.5;
  auto const changes = tracker.after(foam);
  for (unsigned n = 3; n <= 12; ++n) EXPECT_EQ(n == 6 ? 19u : 0u, changes.m_count[n - 3]) << n;
  EXPECT_NEAR(0.0, changes.m_mean[6 - 3], 1e-12);
  EXPECT_GT(kordal::compute_area(inner), area_before + 0.01);
  tracker.before(foam);
  foam.remove_face(foam.faces().begin()->m_self);
  EXPECT_GT(19u, tracker.after(foam).m_count[6 - 3]);
}

// Rows for the foam as built and after each loop; one summary line, and no
// progress bar off a terminal.
TEST_F(BatchRun, CsvHasTheColumnsAndTheCoresStatistics) {
  std::string const err = run("--sites 80 --seed 12 --loops 8 --csv @run.csv --save @end.foam");
  std::string const csv = dir.read("run.csv");
  EXPECT_EQ(
      "loop,wall_seconds,bubbles,junctions,t1,t2,t1_total,t2_total,mean_edges,second_moment,mean_area,area_error,"
      "mean_angle,angle_error,p3,p4,p5,p6,p7,p8,p9,p10,p11,p12,da3,da4,da5,da6,da7,da8,da9,da10,da11,da12\n",
      csv.substr(0, csv.find('\n') + 1));
  auto const rows = read_csv(csv);
  ASSERT_EQ(9u, rows.size());
  double t1 = 0, t2 = 0, seconds = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(double(i), value(rows[i], "loop"));
    t1 += value(rows[i], "t1");
    t2 += value(rows[i], "t2");
    EXPECT_EQ(std::make_pair(t1, t2), std::make_pair(value(rows[i], "t1_total"), value(rows[i], "t2_total")));
    EXPECT_GE(value(rows[i], "wall_seconds"), seconds);
    seconds = value(rows[i], "wall_seconds");
    double p = 0;
    for (int n = 3; n <= 12; ++n) p += value(rows[i], "p" + std::to_string(n));
    EXPECT_NEAR(1.0, p, 1e-8);
  }
  EXPECT_EQ("", rows[0].at("da6"));
  EXPECT_NE("", rows[1].at("da6"));
  BatchFoam built;
  build("--sites 80 --seed 12", built);
  expect_row_matches(rows.front(), built.m_statistics);
  FoamMesh end = load("end.foam");
  Quarvel::batch::FoamStatistics stats(&end);
  stats.update();
  expect_row_matches(rows.back(), stats);
  EXPECT_TRUE(std::regex_match(err, std::regex("froth-batch: 8 loops in [^\r\n]*; stopped after --loops 8\n"))) << err;
}

// The bubble count includes the outer bubble, which the CSV does not count.
// Without diffusion no bubble vanishes: a run to a bubble count must still
// end. --loops 0 or an interrupt only build and write.
TEST_F(BatchRun, StopsAtTheBubbleCountWhenBubblesStopVanishingAfterLoopsZeroOrAnInterrupt) {
  std::string err = run("--sites 80 --seed 3 --until-bubbles 55 --csv @run.csv");
  auto const rows = read_csv(dir.read("run.csv"));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_LE(value(rows.back(), "bubbles") + 1, 55.0);
  EXPECT_GT(value(rows[rows.size() - 2], "bubbles") + 1, 55.0);
  EXPECT_NE(std::string::npos, err.find("stopped at 55 bubbles or fewer")) << err;
  err = run("--sites 30 --seed 3 --permeability 0 --stall-loops 6 --csv @stall.csv");
  EXPECT_EQ(read_csv(dir.read("stall.csv")).size(), 7u);
  EXPECT_NE(std::string::npos, err.find("froth-batch: 6 loops in ")) << err;
  EXPECT_NE(std::string::npos, err.find("; stopped: no bubble vanished in 6 loops\n")) << err;
  run("--preset 1 --loops 0 --csv @run.csv --save @a.foam --snapshot @a.svg");
  EXPECT_EQ(1u, read_csv(dir.read("run.csv")).size());
  EXPECT_EQ(to_text(froth_test::make_preset_foam(1)), without_generator(dir.read("a.foam")));
  EXPECT_EQ(0u, dir.read("a.svg").find("<?xml"));
  EXPECT_EQ((std::vector<std::string>{"a.foam", "a.svg", "run.csv", "stall.csv"}), dir.entries());
  volatile std::sig_atomic_t interrupted = 1;
  err = run("--preset 2 --csv @run.csv --save @a.foam", 130, &interrupted);
  EXPECT_EQ(1u, read_csv(dir.read("run.csv")).size());
  EXPECT_EQ(to_text(froth_test::make_preset_foam(2)), without_generator(dir.read("a.foam")));
  EXPECT_NE(std::string::npos, err.find("; interrupted\n")) << err;
}

// Numbered outputs at the start and every k-th loop. The third numbered foam
// of the second run cannot be written (its name is a directory): the run
// stops, and the other outputs are still written.
TEST_F(BatchRun, NumberedOutputsAndAnOutputThatFailsStopsTheRunButTheOthersAreWritten) {
  run("--sites 50 --seed 8 --loops 7 --csv @f.csv --save-every 3 --save-prefix @f- --snapshot-every 4 "
      "--snapshot-prefix @s- --snapshot-format svg");
  for (char const* name : {"f-000000.foam", "f-000003.foam", "f-000006.foam"}) load(name);
  ASSERT_EQ(0, ::mkdir(dir.file("g-000002.foam").c_str(), 0755));
  std::string const err =
      run("--preset 3 --seed 1 --loops 5 --csv @g.csv --save @end.foam --save-every 2 --save-prefix @g-", 1);
  EXPECT_EQ(0u, err.find(dir.file("g-000002.foam") + ": cannot open for writing (Is a directory)\n")) << err;
  EXPECT_NE(std::string::npos, err.find("froth-batch: 2 loops in ")) << err;
  EXPECT_NE(std::string::npos, err.find("stopped by an output that could not be written")) << err;
  EXPECT_EQ(3u, read_csv(dir.read("g.csv")).size());
  load("end.foam");
  EXPECT_EQ((std::vector<std::string>{"end.foam", "f-000000.foam", "f-000003.foam", "f-000006.foam", "f.csv",
                                      "g-000000.foam", "g-000002.foam", "g.csv", "s-000000.svg", "s-000004.svg"}),
            dir.entries());
}

// A run continued from a foam it saved gives the rows of the whole run from
// there on: the file carries the generator's state, which --seed does not
// override. The event totals and the clock start anew.
TEST_F(BatchRun, ARunContinuedFromASavedFoamGivesTheSameRows) {
  run("--sites 60 --seed 4 --loops 40 --csv @full.csv --save-every 15 --save-prefix @f-");
  auto const full = read_csv(dir.read("full.csv"));
  ASSERT_EQ(41u, full.size());
  for (int at : {15, 30}) {
    SCOPED_TRACE(at);
    char name[32];
    std::snprintf(name, sizeof name, "@f-%06d.foam", at);
    run(std::string("--load ") + name + " --seed 99 --loops " + std::to_string(40 - at) + " --csv @part.csv");
    auto const part = read_csv(dir.read("part.csv"));
    ASSERT_EQ(std::size_t(41 - at), part.size());
    for (std::size_t i = 1; i < part.size(); ++i) {
      for (auto const& [column, cell] : part[i]) {
        if (column == "loop" || column == "wall_seconds" || column == "t1_total" || column == "t2_total") continue;
        EXPECT_EQ(full[at + i].at(column), cell) << "loop " << at + i << " " << column;
      }
    }
  }
}

// --track follows every bubble by its tag: a loop keeps or removes bubbles
// but never makes one, the rows of a loop are the CSV's bubbles, and von
// Neumann's law holds bubble by bubble: the target moves by k (n - 6) with
// the bubble's films n, and the held area follows it (fitted over the
// bubbles that kept their n; single loops lag behind equilibrium).
TEST_F(BatchRun, TrackedBubblesKeepTheirTagsAndFollowVonNeumann) {
  run("--sites 80 --seed 6 --loops 60 --track @track.csv --csv @run.csv");
  auto const loops = read_csv(dir.read("run.csv"));
  std::vector<std::map<std::string, Row>> by_loop(loops.size());
  for (Row const& r : read_csv(dir.read("track.csv"))) {
    auto const loop = std::size_t(value(r, "loop"));
    ASSERT_LT(loop, by_loop.size());
    EXPECT_TRUE(by_loop[loop].emplace(r.at("tag"), r).second) << "tag " << r.at("tag") << " twice";
  }
  double const k = 0.25 * 0.1 * 2.0 * M_PI / 3.0;
  double moment = 0.0, square = 0.0;
  for (std::size_t t = 0; t + 1 < by_loop.size(); ++t) {
    EXPECT_EQ(value(loops[t + 1], "bubbles"), double(by_loop[t + 1].size()));
    for (auto const& [tag, after] : by_loop[t + 1]) {
      auto const before = by_loop[t].find(tag);
      ASSERT_NE(by_loop[t].end(), before) << "tag " << tag << " appeared at loop " << t + 1;
      double const n = value(before->second, "films") - 6.0;
      EXPECT_NEAR(k * n, value(after, "target") - value(before->second, "target"), 1e-12) << "tag " << tag;
      if (t >= 5 && value(after, "films") - 6.0 == n) {
        moment += n * (value(after, "area") - value(before->second, "area"));
        square += n * n;
      }
    }
  }
  ASSERT_GT(square, 1000.0);
  EXPECT_NEAR(1.0, moment / square / k, 0.02);
}

// A honeycomb is in equilibrium at once; a small foam equilibrates within the
// tolerances, without diffusion: no target area changed.
TEST_F(BatchRun, EquilibrateStopsAtEquilibrium) {
  FoamMesh honeycomb;
  froth_test::make_hexagon_foam(honeycomb, 2, true);
  std::string error;
  ASSERT_TRUE(kordal::save_foam(honeycomb, dir.file("h.foam"), error)) << error;
  std::string err = run("--load @h.foam --equilibrate --solver junction --csv @h.csv");
  EXPECT_EQ(0, err.rfind("froth-batch: equilibrated in 0 loops", 0)) << err;
  // The solver wants three-fold junctions: it refuses the honeycomb's border
  // and leaves it as it was.
  err = run("--load @h.foam --equilibrate --solver newton --csv @h.csv --save @h2.foam",
            Quarvel::batch::exit_not_equilibrated);
  EXPECT_NE(std::string::npos, err.find("not equilibrated: junction")) << err;
  EXPECT_EQ(to_text(honeycomb), without_generator(dir.read("h2.foam")));
  err = run("--sites 25 --seed 3 --equilibrate --loops 2000 --csv @p.csv --save @p.foam");
  EXPECT_EQ(0, err.rfind("froth-batch: equilibrated in ", 0)) << err;
  FoamMesh const end = load("p.foam");
  auto const r = Quarvel::batch::largest_residuals(end);
  EXPECT_LT(r.m_area, Quarvel::batch::equilibrium_area_tolerance);
  EXPECT_LT(r.m_angle, Quarvel::batch::equilibrium_angle_tolerance);
  auto targets = [](FoamMesh const& foam) {
    std::vector<double> t;
    for (auto const& f : foam.faces()) t.push_back(f.m_target_area);
    return t;
  };
  EXPECT_EQ(targets(froth_test::make_generated_foam(3, 25)), targets(end));
}

TEST_F(BatchLoop, QuasiStaticLoopsFollowVonNeumannExactly) {
  BatchFoam state;
  build("--sites 60 --seed 2 --quasi-static", state);
  auto const settings = Quarvel::batch::solver_settings(options("--quasi-static"));
  ASSERT_TRUE(Quarvel::solver::solve_equilibrium(state.m_foam, settings).m_converged);
  double const k = 0.25 * 0.1 * 2.0 * M_PI / 3.0;
  std::size_t checked = 0;
  for (int loop = 0; loop < 6; ++loop) {
    // Area and films of each bubble before the loop, by handle: a bubble that
    // an event rebuilt has a new one.
    std::map<std::uint32_t, std::pair<double, int>> before;
    for (auto const& f : state.m_foam.faces()) {
      if (!f.m_is_outer) before[f.m_self.get_idx()] = {kordal::compute_area(f), int(kordal::film_count(f))};
    }
    double seconds = 0.0;
    Quarvel::solver::SolverResult solve;
    Quarvel::batch::quasi_static_step(state, settings, seconds, solve);
    ASSERT_TRUE(solve.m_converged) << solve.m_reason;
    for (auto const& f : state.m_foam.faces()) {
      auto const it = before.find(f.m_self.get_idx());
      if (it == before.end()) continue;
      EXPECT_NEAR((it->second.second - 6) * k, kordal::compute_area(f) - it->second.first, 1e-8) << "loop " << loop;
      ++checked;
    }
  }
  EXPECT_GT(checked, 250u);

  // The run's summary gives the largest residuals.
  std::string const err = run("--sites 60 --seed 2 --quasi-static --loops 3 --csv @q.csv");
  EXPECT_NE(std::string::npos, err.find("largest residuals: area ")) << err;
}

/// The pixels of a PNG of the given size as 0xRRGGBB, row by row; empty if it
/// is not a PNG of that size.
std::vector<std::uint32_t> decode_png(std::string const& bytes, int width, int height) {
  std::istringstream in(bytes);
  auto read = [](void* closure, unsigned char* data, unsigned int length) {
    bool const ok = bool(static_cast<std::istream*>(closure)->read(reinterpret_cast<char*>(data), length));
    return ok ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
  };
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(read, &in);
  std::vector<std::uint32_t> pixels;
  for (int y = 0; cairo_image_surface_get_width(s) == width && y < cairo_image_surface_get_height(s); ++y) {
    auto const* row = cairo_image_surface_get_data(s) + std::size_t(y) * cairo_image_surface_get_stride(s);
    pixels.insert(pixels.end(), reinterpret_cast<std::uint32_t const*>(row),
                  reinterpret_cast<std::uint32_t const*>(row) + width);
  }
  cairo_surface_destroy(s);
  if (pixels.size() != std::size_t(width) * height) pixels.clear();
  return pixels;
}

// Pressures 2 and 1 make R = 2 gamma / dp = 0.5, a half circle on each unit
// film: the films of the centre bulge 25 pixels into its neighbours, or the
// neighbours' into the centre. Normalised pressure t has colour
// (0.05, 0.3, 1.0) t; the outer bubble takes no part in the range.
TEST(BatchSnapshot, BubblesAreFilledByPressureAndFilmsBulgeIntoLowerPressure) {
  FoamMesh foam;
  froth_test::make_hexagon_foam(foam, 1, true);
  auto& centre = foam.faces().front();  // at the origin
  kordal::SnapshotStyle style;
  style.m_width = style.m_height = 500;
  style.m_view = {-5.0, -5.0, 5.0, 5.0};  // 50 pixels a unit, origin at (250, 250)
  style.m_line_width = 5.0;
  for (auto const& [p, rest] : {std::array<double, 2>{2.0, 1.0}, std::array<double, 2>{1.0, 2.0}}) {
    SCOPED_TRACE(p);
    for (auto& f : foam.faces()) f.m_pressure = rest;
    centre.m_pressure = p;
    std::ostringstream png;
    std::string error;
    ASSERT_TRUE(kordal::write_snapshot(foam, kordal::SnapshotFormat::png, style, png, error)) << error;
    auto const pixels = decode_png(png.str(), 500, 500);
    ASSERT_EQ(500u * 500u, pixels.size());
    auto expect_colour = [&](std::array<int, 3> const& expected, double x, double y, char const* where) {
      auto const actual = pixels[std::size_t(250 - 50 * y) * 500 + std::size_t(250 + 50 * x)];
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(expected[i], int(actual >> (16 - 8 * i) & 255), 2) << where << i;
    };
    double const low = 0.75 * std::min(p, rest), high = std::max(p, rest);
    auto blue = [&](double pressure) {
      double const t = (pressure - low) / (high - low);
      return std::array<int, 3>{int(std::lround(0.05 * t * 255)), int(std::lround(0.3 * t * 255)),
                                int(std::lround(t * 255))};
    };
    expect_colour(blue(p), 0.0, 0.0, "centre");
    expect_colour({255, 255, 255}, -4.96, 4.96, "outside the foam");
    for (FoamMesh::const_face_halfedge_circulator h(foam, centre.m_self); h; ++h) {
      auto const& a = foam.get_vertex(foam.origin(h.handle())).m_coord;
      auto const& b = foam.get_vertex(foam.destination(h.handle())).m_coord;
      // Clockwise loops: the bubble lies right of a->b, outward is left.
      double const L = std::hypot(b.x - a.x, b.y - a.y);
      double const ox = -(b.y - a.y) / L, oy = (b.x - a.x) / L;
      double const mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
      double const s = p > rest ? 0.25 : -0.25;  // halfway into the bulge
      expect_colour(blue(std::max(p, rest)), mx + s * ox, my + s * oy, "bulge");
      expect_colour(blue(std::min(p, rest)), mx + 3 * s * ox, my + 3 * s * oy, "beyond");
      expect_colour({0, 0, 0}, mx + 2 * s * ox, my + 2 * s * oy, "the film's arc");
    }
  }
}

// Three wedges of pressure 2 in an outer bubble of pressure 1: each outer
// film is a half circle of radius sqrt(3)/2 on a chord whose midpoint lies
// 1/2 from the centre, far outside the junctions' box.
TEST(BatchSnapshot, TheFrameHoldsTheFilmsArcsFormatsFollowTheExtensionAndSizesArePositive) {
  FoamMesh foam;
  froth_test::make_three_bubble_foam(foam);
  for (auto& f : foam.faces()) f.m_pressure = f.m_is_outer ? 1.0 : 2.0;
  kordal::SnapshotView const v = kordal::fit_view(foam, 0.0);
  double const r = std::sqrt(3.0) / 2.0;
  EXPECT_NEAR(-0.5 - r, v.m_y0, 1e-12);
  EXPECT_NEAR(0.25 + r, v.m_y1, 1e-12);
  EXPECT_NEAR(-1.5 * r, v.m_x0, 1e-12);
  EXPECT_NEAR(1.5 * r, v.m_x1, 1e-12);

  // Formats follow the extension; sizes must be positive.
  using kordal::SnapshotFormat;
  SnapshotFormat f = SnapshotFormat::png;
  EXPECT_TRUE(kordal::snapshot_format_from_path("a/b.SVG", f) && f == SnapshotFormat::svg);
  EXPECT_TRUE(kordal::snapshot_format_from_path("b.pdf", f) && f == SnapshotFormat::pdf);
  EXPECT_FALSE(kordal::snapshot_format_from_path("a.svg/b", f) || kordal::snapshot_format_from_path("png", f));
  kordal::SnapshotStyle style;
  style.m_width = 0;
  std::ostringstream out;
  std::string error;
  EXPECT_FALSE(kordal::write_snapshot(froth_test::make_preset_foam(3), SnapshotFormat::png, style, out, error));
  EXPECT_EQ("snapshot size must be positive", error);
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
