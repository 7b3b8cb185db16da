// froth-batch's command line: defaults, every option, and the errors.

#include "batch_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Quarvel::batch::BatchOptions;
using Quarvel::batch::FoamSource;
using Quarvel::batch::parse_options;
using Quarvel::batch::ParseResult;
using Quarvel::kordal::SnapshotFormat;

BatchOptions parsed(std::vector<std::string> const& args) {
  BatchOptions o;
  std::string error;
  EXPECT_EQ(ParseResult::run, parse_options(args, o, error)) << error;
  return o;
}

std::string refused(std::vector<std::string> const& args) {
  BatchOptions o;
  o.m_sites = -7;
  std::string error;
  EXPECT_EQ(ParseResult::error, parse_options(args, o, error));
  EXPECT_EQ(-7, o.m_sites) << "a refused command line changes nothing";
  EXPECT_EQ(std::string::npos, error.find('\n'));
  return error;
}

TEST(BatchOptions, DefaultsAreTheWindowsStartUpValues) {
  BatchOptions const o = parsed({});
  EXPECT_EQ(FoamSource::random_sites, o.m_source);
  EXPECT_EQ(200, o.m_sites);
  EXPECT_FALSE(o.m_seed_given);
  EXPECT_EQ(96.0, o.m_domain_width);
  EXPECT_EQ(54.0, o.m_domain_height);
  EXPECT_FALSE(o.m_no_outer);
  EXPECT_EQ(0.25, o.m_film_tension);
  EXPECT_EQ(0.1, o.m_permeability);
  EXPECT_EQ(4u, o.m_max_iterations);
  EXPECT_EQ(0.5, o.m_tau);
  EXPECT_EQ(0.05, o.m_t1_threshold);
  EXPECT_EQ(0.05, o.m_t2_threshold);
  EXPECT_FALSE(o.m_loops_given);
  EXPECT_EQ(5u, o.m_until_bubbles);
  EXPECT_FALSE(o.m_equilibrate);
  EXPECT_EQ("-", o.m_csv);
  EXPECT_TRUE(o.m_save.empty());
  EXPECT_TRUE(o.m_snapshot.empty());
  EXPECT_EQ(0u, o.m_save_every);
  EXPECT_EQ(0u, o.m_snapshot_every);
}

TEST(BatchOptions, EveryOptionSetsItsValue) {
  BatchOptions const a = parsed({"--sites",
                                 "20000",
                                 "--seed",
                                 "4294967295",
                                 "--domain",
                                 "960",
                                 "540.5",
                                 "--no-outer",
                                 "--film-tension",
                                 "0.5",
                                 "--permeability",
                                 "0",
                                 "--max-iterations",
                                 "0",
                                 "--tau",
                                 "1e-1",
                                 "--t1-threshold",
                                 "0.01",
                                 "--t2-threshold",
                                 "0.2",
                                 "--loops",
                                 "0",
                                 "--until-bubbles",
                                 "12",
                                 "--csv",
                                 "run.csv",
                                 "--save",
                                 "end.foam",
                                 "--save-every",
                                 "10",
                                 "--save-prefix",
                                 "out/f-",
                                 "--snapshot",
                                 "end.PDF",
                                 "--snapshot-every",
                                 "3",
                                 "--snapshot-prefix",
                                 "out/s-",
                                 "--snapshot-format",
                                 "svg",
                                 "--snapshot-size",
                                 "1920",
                                 "1080"});
  EXPECT_EQ(FoamSource::random_sites, a.m_source);
  EXPECT_EQ(20000, a.m_sites);
  EXPECT_TRUE(a.m_seed_given);
  EXPECT_EQ(4294967295u, a.m_seed);
  EXPECT_EQ(960.0, a.m_domain_width);
  EXPECT_EQ(540.5, a.m_domain_height);
  EXPECT_TRUE(a.m_no_outer);
  EXPECT_TRUE(a.m_film_tension_given);
  EXPECT_EQ(0.5, a.m_film_tension);
  EXPECT_EQ(0.0, a.m_permeability);
  EXPECT_EQ(0u, a.m_max_iterations);
  EXPECT_EQ(0.1, a.m_tau);
  EXPECT_EQ(0.01, a.m_t1_threshold);
  EXPECT_EQ(0.2, a.m_t2_threshold);
  EXPECT_TRUE(a.m_loops_given);
  EXPECT_EQ(0u, a.m_loops);
  EXPECT_EQ(12u, a.m_until_bubbles);
  EXPECT_EQ("run.csv", a.m_csv);
  EXPECT_EQ("end.foam", a.m_save);
  EXPECT_EQ(10u, a.m_save_every);
  EXPECT_EQ("out/f-", a.m_save_prefix);
  EXPECT_EQ("end.PDF", a.m_snapshot);
  EXPECT_EQ(3u, a.m_snapshot_every);
  EXPECT_EQ("out/s-", a.m_snapshot_prefix);
  EXPECT_EQ(SnapshotFormat::svg, a.m_snapshot_format);
  EXPECT_EQ(1920, a.m_snapshot_width);
  EXPECT_EQ(1080, a.m_snapshot_height);

  BatchOptions const b = parsed({"--preset=2", "--equilibrate", "--loops=100"});
  EXPECT_EQ(FoamSource::preset, b.m_source);
  EXPECT_EQ(2, b.m_preset);
  EXPECT_TRUE(b.m_equilibrate);
  EXPECT_EQ(100u, b.m_loops);

  EXPECT_EQ(FoamSource::site_file, parsed({"--site-file", "s.txt"}).m_source);
  EXPECT_EQ("s.txt", parsed({"--site-file", "s.txt"}).m_site_file);
  EXPECT_EQ(FoamSource::load, parsed({"--load", "a.foam"}).m_source);
  EXPECT_EQ("a.foam", parsed({"--load", "a.foam"}).m_load_file);
  EXPECT_EQ(SnapshotFormat::png, parsed({"--snapshot", "x.png"}).m_snapshot_format);
}

TEST(BatchOptions, HelpWinsOverEverythingElse) {
  BatchOptions o;
  std::string error;
  EXPECT_EQ(ParseResult::help, parse_options({"--sites", "x", "--help"}, o, error));
  EXPECT_EQ(ParseResult::help, parse_options({"-h"}, o, error));
}

TEST(BatchOptions, HelpListsEveryOptionWithItsDefault) {
  std::string const help = Quarvel::batch::help_text();
  for (char const* option :
       {"--sites N",       "--preset K",         "--site-file FILE",    "--load FILE",         "--seed S",
        "--domain W H",    "--no-outer",         "--film-tension G",    "--permeability P",    "--max-iterations N",
        "--tau T",         "--t1-threshold L",   "--t2-threshold A",    "--loops L",           "--until-bubbles K",
        "--equilibrate",   "--csv FILE",         "--save FILE",         "--save-every K",      "--save-prefix P",
        "--snapshot FILE", "--snapshot-every K", "--snapshot-prefix P", "--snapshot-format F", "--snapshot-size W H",
        "--help"}) {
    EXPECT_NE(std::string::npos, help.find(std::string("  ") + option)) << option;
  }
  for (char const* value :
       {"(default 200)", "(default 96 x 54)", "(default 0.25)", "(default 0.1)", "(default 4)", "(default 0.5)",
        "(default 0.05)", "(default 5)", "(default standard output)", "(default 960 x 540)"}) {
    EXPECT_NE(std::string::npos, help.find(value)) << value;
  }
  for (std::size_t start = 0, end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
  }
}

TEST(BatchOptions, MalformedValuesAreRefusedWithTheOptionNamed) {
  EXPECT_EQ("unknown option '--site' (see --help)", refused({"--site", "3"}));
  EXPECT_EQ("unexpected argument 'run.csv' (options start with --; see --help)", refused({"run.csv"}));
  EXPECT_EQ("--sites needs N", refused({"--sites"}));
  EXPECT_EQ("--domain needs W H", refused({"--domain", "10"}));
  EXPECT_EQ("--sites needs N", refused({"--sites", "--loops", "3"}));
  EXPECT_EQ("--sites: 'ten' is not a whole number", refused({"--sites", "ten"}));
  EXPECT_EQ("--sites: '-5' is not a whole number", refused({"--sites", "-5"}));
  EXPECT_EQ("--loops: '1.5' is not a whole number", refused({"--loops", "1.5"}));
  EXPECT_EQ("--preset: 4 is out of range (1 to 3)", refused({"--preset", "4"}));
  EXPECT_EQ("--seed: 4294967296 is out of range (0 to 4294967295)", refused({"--seed", "4294967296"}));
  EXPECT_EQ("--save-every: 0 is out of range (1 to 9223372036854775807)", refused({"--save-every", "0"}));
  EXPECT_EQ("--tau: 'fast' is not a number", refused({"--tau", "fast"}));
  EXPECT_EQ("--tau: '0.5x' is not a number", refused({"--tau", "0.5x"}));
  EXPECT_EQ("--tau: 0 must be positive", refused({"--tau", "0"}));
  EXPECT_EQ("--permeability: 'nan' is not a finite number", refused({"--permeability", "nan"}));
  EXPECT_EQ("--film-tension: 'inf' is not a finite number", refused({"--film-tension", "inf"}));
  EXPECT_EQ("--t1-threshold: -0.1 must not be negative", refused({"--t1-threshold", "-0.1"}));
  EXPECT_EQ("--domain: 0 must be positive", refused({"--domain", "0", "5"}));
  EXPECT_EQ("--domain: 5 1e300 is larger than 1e9", refused({"--domain", "5", "1e300"}));
  EXPECT_EQ("--snapshot-size: 40000 is out of range (1 to 32767)", refused({"--snapshot-size", "40000", "10"}));
  EXPECT_EQ("--snapshot: 'a.jpg' does not end in .svg, .pdf or .png", refused({"--snapshot", "a.jpg"}));
  EXPECT_EQ("--snapshot-format: 'gif' is not svg, pdf or png",
            refused({"--snapshot-every", "1", "--snapshot-format", "gif"}));
  EXPECT_EQ("--csv: the value must not be empty", refused({"--csv="}));
  EXPECT_EQ("--no-outer takes no value", refused({"--no-outer=1"}));
  EXPECT_EQ("--domain takes 2 values, given as separate arguments", refused({"--domain=3"}));
}

TEST(BatchOptions, RepeatsAndMeaninglessCombinationsAreRefused) {
  EXPECT_EQ("--loops is given twice", refused({"--loops", "3", "--loops", "4"}));
  EXPECT_EQ("choose one foam source: --sites, --preset, --site-file or --load",
            refused({"--sites", "30", "--load", "a.foam"}));
  EXPECT_EQ("choose one foam source: --sites, --preset, --site-file or --load",
            refused({"--preset", "1", "--site-file", "s.txt"}));
  EXPECT_EQ("--domain applies to random sites (--sites) only", refused({"--preset", "1", "--domain", "9", "9"}));
  EXPECT_EQ("--no-outer applies to a foam that is built, not to --load", refused({"--load", "a", "--no-outer"}));
  EXPECT_EQ("--save-prefix needs --save-every", refused({"--save-prefix", "x"}));
  EXPECT_EQ("--snapshot-prefix needs --snapshot-every", refused({"--snapshot-prefix", "x"}));
  EXPECT_EQ("--snapshot-format needs --snapshot-every", refused({"--snapshot-format", "svg"}));
  EXPECT_NE(std::string::npos, refused({"--equilibrate", "--until-bubbles", "3"}).find("--until-bubbles"));
  // --domain alone means random sites: the default source.
  EXPECT_EQ(FoamSource::random_sites, parsed({"--domain", "10", "10"}).m_source);
}

}  // namespace
