// froth-batch's command line: defaults, every option, and the errors.

#include "batch_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Quarvel::batch::BatchOptions;
using Quarvel::batch::FoamSource;
using Quarvel::batch::parse_options;
using Quarvel::batch::ParseResult;
using Quarvel::kordal::SnapshotFormat;
using namespace std::string_literals;

/// The words of a command line written with single spaces.
std::vector<std::string> words(std::string const& line) {
  std::vector<std::string> args;
  std::istringstream in(line);
  for (std::string word; in >> word;) args.push_back(word);
  return args;
}

BatchOptions parsed(std::string const& line) {
  BatchOptions o;
  std::string error;
  EXPECT_EQ(ParseResult::run, parse_options(words(line), o, error)) << error;
  return o;
}

// The defaults are checked by their effect in batch_run_test: the window's
// foam and idle step.
TEST(BatchOptions, EveryOptionSetsItsValueAndHelpWinsAndFitsEightyColumns) {
  BatchOptions const a = parsed(
      "--sites 20000 --seed 4294967295 --domain 960 540.5 --no-outer --film-tension 0.5 --permeability 0 "
      "--max-iterations 0 --tau 1e-1 --t1-threshold 0.01 --t2-threshold 0.2 --loops 0 --until-bubbles 12 "
      "--csv run.csv --save end.foam --save-every 10 --save-prefix out/f- --snapshot end.PDF --snapshot-every 3 "
      "--snapshot-prefix out/s- --snapshot-format svg --snapshot-size 1920 1080");
  EXPECT_EQ(
      std::make_tuple(FoamSource::random_sites, 20000, true, 4294967295u, 960.0, 540.5, true),
      std::tie(a.m_source, a.m_sites, a.m_seed_given, a.m_seed, a.m_domain_width, a.m_domain_height, a.m_no_outer));
  EXPECT_EQ(std::make_tuple(true, 0.5, 0.0, 0u, 0.1, 0.01, 0.2),
            std::tie(a.m_film_tension_given, a.m_simulation.m_film_tension, a.m_simulation.m_permeability,
                     a.m_simulation.m_max_iterations, a.m_simulation.m_tau, a.m_simulation.m_t1_threshold,
                     a.m_simulation.m_t2_threshold));
  EXPECT_EQ(
      std::make_tuple(true, std::uint64_t(0), 12u, "run.csv"s, "end.foam"s, std::uint64_t(10), "out/f-"s),
      std::tie(a.m_loops_given, a.m_loops, a.m_until_bubbles, a.m_csv, a.m_save, a.m_save_every, a.m_save_prefix));
  EXPECT_EQ(std::make_tuple("end.PDF"s, std::uint64_t(3), "out/s-"s, SnapshotFormat::svg, 1920, 1080),
            std::tie(a.m_snapshot, a.m_snapshot_every, a.m_snapshot_prefix, a.m_snapshot_format, a.m_snapshot_width,
                     a.m_snapshot_height));

  BatchOptions const b = parsed("--preset=2 --equilibrate --loops=100");
  EXPECT_EQ(std::make_tuple(FoamSource::preset, 2, true, std::uint64_t(100)),
            std::tie(b.m_source, b.m_preset, b.m_equilibrate, b.m_loops));
  BatchOptions const q = parsed("--quasi-static --tolerance 1e-8 2e-9");
  EXPECT_EQ(std::make_tuple(true, true, 1e-8, 2e-9, Quarvel::batch::EquilibriumSolver::newton),
            std::tie(q.m_quasi_static, q.m_tolerance_given, q.m_area_tolerance, q.m_angle_tolerance, q.m_solver));
  EXPECT_EQ(Quarvel::batch::EquilibriumSolver::junction, parsed("--equilibrate --solver junction").m_solver);
  BatchOptions const s = parsed("--site-file s.txt"), l = parsed("--load a.foam");
  EXPECT_EQ(std::make_tuple(FoamSource::site_file, "s.txt"s, FoamSource::load, "a.foam"s),
            std::tie(s.m_source, s.m_site_file, l.m_source, l.m_load_file));
  EXPECT_EQ(SnapshotFormat::png, parsed("--snapshot x.png").m_snapshot_format);
  // --domain alone means random sites: the default source.
  EXPECT_EQ(FoamSource::random_sites, parsed("--domain 10 10").m_source);

  // Help wins over anything else on the line; its text fits 80 columns.
  BatchOptions o;
  std::string error;
  EXPECT_EQ(ParseResult::help, parse_options({"--sites", "x", "--help"}, o, error));
  EXPECT_EQ(ParseResult::help, parse_options({"-h"}, o, error));
  std::string const help = Quarvel::batch::help_text();
  for (std::size_t start = 0, end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
  }
}

TEST(BatchOptions, BadValuesRepeatsAndMeaninglessCombinationsAreRefusedInOneLine) {
  struct Case {
    char const* line;
    char const* error;
  };
  char const* const one_source = "choose one foam source: --sites, --preset, --site-file or --load";
  for (Case const& c : {
           Case{"--site 3", "unknown option '--site' (see --help)"},
           Case{"run.csv", "unexpected argument 'run.csv' (options start with --; see --help)"},
           Case{"--sites", "--sites needs N"},
           Case{"--domain 10", "--domain needs W H"},
           Case{"--sites --loops 3", "--sites needs N"},
           Case{"--sites ten", "--sites: 'ten' is not a whole number"},
           Case{"--sites -5", "--sites: '-5' is not a whole number"},
           Case{"--loops 1.5", "--loops: '1.5' is not a whole number"},
           Case{"--preset 4", "--preset: 4 is out of range (1 to 3)"},
           Case{"--seed 4294967296", "--seed: 4294967296 is out of range (0 to 4294967295)"},
           Case{"--save-every 0", "--save-every: 0 is out of range (1 to 9223372036854775807)"},
           Case{"--tau fast", "--tau: 'fast' is not a number"},
           Case{"--tau 0.5x", "--tau: '0.5x' is not a number"},
           Case{"--tau 0", "--tau: 0 must be positive"},
           Case{"--permeability nan", "--permeability: 'nan' is not a finite number"},
           Case{"--t1-threshold -0.1", "--t1-threshold: -0.1 must not be negative"},
           Case{"--domain 0 5", "--domain: 0 must be positive"},
           Case{"--domain 5 1e300", "--domain: 5 1e300 is larger than 1e9"},
           Case{"--snapshot-size 40000 10", "--snapshot-size: 40000 is out of range (1 to 32767)"},
           Case{"--snapshot a.jpg", "--snapshot: 'a.jpg' does not end in .svg, .pdf or .png"},
           Case{"--snapshot-every 1 --snapshot-format gif", "--snapshot-format: 'gif' is not svg, pdf or png"},
           Case{"--csv=", "--csv: the value must not be empty"},
           Case{"--no-outer=1", "--no-outer takes no value"},
           Case{"--domain=3", "--domain takes 2 values, given as separate arguments"},
           Case{"--loops 3 --loops 4", "--loops is given twice"},
           Case{"--sites 30 --load a.foam", one_source},
           Case{"--preset 1 --domain 9 9", "--domain applies to random sites (--sites) only"},
           Case{"--load a --no-outer", "--no-outer applies to a foam that is built, not to --load"},
           Case{"--save-prefix x", "--save-prefix needs --save-every"},
           Case{"--snapshot-prefix x", "--snapshot-prefix needs --snapshot-every"},
           Case{"--snapshot-format svg", "--snapshot-format needs --snapshot-every"},
           Case{"--equilibrate --solver fast", "--solver: 'fast' is not newton or junction"},
           Case{"--tolerance 1e-6 1e-4", "--tolerance applies to --equilibrate or --quasi-static only"},
           Case{"--quasi-static --equilibrate", "choose --equilibrate or --quasi-static, not both"},
           Case{"--quasi-static --solver junction", "--quasi-static solves with the newton solver only"},
           Case{"--equilibrate --until-bubbles 3",
                "--until-bubbles does not apply to --equilibrate, which stops at equilibrium or --loops"},
       }) {
    SCOPED_TRACE(c.line);
    BatchOptions o;
    o.m_sites = -7;
    std::string error;
    EXPECT_EQ(ParseResult::error, parse_options(words(c.line), o, error));
    EXPECT_EQ(c.error, error);
    EXPECT_EQ(-7, o.m_sites) << "a refused command line changes nothing";
  }
}

}  // namespace
