#include "batch_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <set>
#include <sstream>

namespace Quarvel {
namespace batch {

namespace {

using kordal::SnapshotFormat;

struct OptionError {
  std::string what;
};

std::string show_real(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

std::uint64_t parse_whole(std::string const& name, std::string const& text, std::uint64_t lo, std::uint64_t hi) {
  bool const digits = !text.empty() && text.size() <= 19 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) throw OptionError{"--" + name + ": '" + text + "' is not a whole number"};
  std::uint64_t const v = std::strtoull(text.c_str(), nullptr, 10);
  if (v < lo || v > hi) {
    throw OptionError{"--" + name + ": " + text + " is out of range (" + std::to_string(lo) + " to " +
                      std::to_string(hi) + ")"};
  }
  return v;
}

double parse_number(std::string const& name, std::string const& text) {
  char* end = nullptr;
  errno = 0;
  double const v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    throw OptionError{"--" + name + ": '" + text + "' is not a number"};
  }
  if (!std::isfinite(v)) throw OptionError{"--" + name + ": '" + text + "' is not a finite number"};
  return v;
}

double parse_non_negative(std::string const& name, std::string const& text) {
  double const v = parse_number(name, text);
  if (v < 0.0) throw OptionError{"--" + name + ": " + text + " must not be negative"};
  return v;
}

double parse_positive(std::string const& name, std::string const& text) {
  double const v = parse_number(name, text);
  if (!(v > 0.0)) throw OptionError{"--" + name + ": " + text + " must be positive"};
  return v;
}

std::string require_text(std::string const& name, std::string const& text) {
  if (text.empty()) throw OptionError{"--" + name + ": the value must not be empty"};
  return text;
}

using Values = std::vector<std::string>;

struct OptionSpec {
  char const* name;
  char const* values;  // shown in the help; its word count is the number of values
  char const* help;
  std::function<std::string(BatchOptions const&)> default_text;
  std::function<void(Values const&, BatchOptions&)> apply;
};

std::size_t arity(OptionSpec const& entry) {
  std::istringstream words(entry.values);
  std::string w;
  std::size_t n = 0;
  while (words >> w) ++n;
  return n;
}

constexpr std::uint64_t max_uint32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t max_int = std::numeric_limits<int>::max();

std::vector<OptionSpec> const& option_table() {
  static std::vector<OptionSpec> const table = {
      {"sites", "N", "random sites, scaled as the window's 'r' over the --domain rectangle",
       [](BatchOptions const& o) { return std::to_string(o.m_sites); },
       [](Values const& v, BatchOptions& o) {
         o.m_source = FoamSource::random_sites;
         o.m_sites = static_cast<int>(parse_whole("sites", v[0], 0, max_int));
       }},
      {"preset", "K", "one of the fixed site sets 1, 2 or 3", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_source = FoamSource::preset;
         o.m_preset = static_cast<int>(parse_whole("preset", v[0], 1, 3));
       }},
      {"site-file", "FILE", "sites read from FILE, one 'x y' per line ('#' starts a comment line)", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_source = FoamSource::site_file;
         o.m_site_file = require_text("site-file", v[0]);
       }},
      {"load", "FILE", "a foam saved with --save (pressures, target areas and film tension as saved)", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_source = FoamSource::load;
         o.m_load_file = require_text("load", v[0]);
       }},
      {"seed", "S", "seed of the random generator (random sites and the loops' junction order)",
       [](BatchOptions const&) { return std::string("the time"); },
       [](Values const& v, BatchOptions& o) {
         o.m_seed_given = true;
         o.m_seed = static_cast<std::uint32_t>(parse_whole("seed", v[0], 0, max_uint32));
       }},
      {"domain", "W H", "rectangle the random sites fill, in foam units",
       [](BatchOptions const& o) { return show_real(o.m_domain_width) + " x " + show_real(o.m_domain_height); },
       [](Values const& v, BatchOptions& o) {
         o.m_domain_width = parse_positive("domain", v[0]);
         o.m_domain_height = parse_positive("domain", v[1]);
         // Far beyond any foam, and far from where the scaling of the sites
         // would overflow.
         if (o.m_domain_width > 1e9 || o.m_domain_height > 1e9) {
           throw OptionError{"--domain: " + v[0] + " " + v[1] + " is larger than 1e9"};
         }
       }},
      {"no-outer", "", "build the foam without the outer bubble (its border stays open)", nullptr,
       [](Values const&, BatchOptions& o) { o.m_no_outer = true; }},
      {"film-tension", "G", "tension of one film surface",
       [](BatchOptions const& o) { return show_real(o.m_simulation.m_film_tension); },
       [](Values const& v, BatchOptions& o) {
         o.m_film_tension_given = true;
         o.m_simulation.m_film_tension = parse_non_negative("film-tension", v[0]);
       }},
      {"permeability", "P", "gas permeability of the films (diffusion speed; 0 turns diffusion off)",
       [](BatchOptions const& o) { return show_real(o.m_simulation.m_permeability); },
       [](Values const& v, BatchOptions& o) { o.m_simulation.m_permeability = parse_non_negative("permeability", v[0]); }},
      {"max-iterations", "N", "Newton iterations per junction and loop (0: until converged)",
       [](BatchOptions const& o) { return std::to_string(o.m_simulation.m_max_iterations); },
       [](Values const& v, BatchOptions& o) {
         o.m_simulation.m_max_iterations = static_cast<unsigned>(parse_whole("max-iterations", v[0], 0, max_uint32));
       }},
      {"tau", "T", "damping of the Newton steps", [](BatchOptions const& o) { return show_real(o.m_simulation.m_tau); },
       [](Values const& v, BatchOptions& o) { o.m_simulation.m_tau = parse_positive("tau", v[0]); }},
      {"t1-threshold", "L", "film length below which a T1 swaps neighbours",
       [](BatchOptions const& o) { return show_real(o.m_simulation.m_t1_threshold); },
       [](Values const& v, BatchOptions& o) { o.m_simulation.m_t1_threshold = parse_non_negative("t1-threshold", v[0]); }},
      {"t2-threshold", "A", "bubble area below which a T2 removes the bubble",
       [](BatchOptions const& o) { return show_real(o.m_simulation.m_t2_threshold); },
       [](Values const& v, BatchOptions& o) { o.m_simulation.m_t2_threshold = parse_non_negative("t2-threshold", v[0]); }},
      {"loops", "L", "run at most L loops (0: only build or load the foam and write the outputs)",
       [](BatchOptions const&) { return std::string("no cap"); },
       [](Values const& v, BatchOptions& o) {
         o.m_loops_given = true;
         o.m_loops = parse_whole("loops", v[0], 0, std::numeric_limits<std::uint64_t>::max() / 2);
       }},
      {"until-bubbles", "K", "stop once K bubbles or fewer remain, the outer bubble counted",
       [](BatchOptions const& o) { return std::to_string(o.m_until_bubbles); },
       [](Values const& v, BatchOptions& o) {
         o.m_until_bubbles = static_cast<unsigned>(parse_whole("until-bubbles", v[0], 0, max_uint32));
       }},
      {"stall-loops", "N",
       "stop when no bubble has vanished for N loops: the last bubbles of a foam can stop coarsening, and "
       "without diffusion none vanish (0: never; --loops and --equilibrate are not affected)",
       [](BatchOptions const& o) { return std::to_string(o.m_stall_loops); },
       [](Values const& v, BatchOptions& o) {
         o.m_stall_loops = parse_whole("stall-loops", v[0], 0, std::numeric_limits<std::uint64_t>::max() / 2);
       }},
      {"equilibrate", "",
       "bring the foam to equilibrium without diffusion (see --solver and --tolerance) and report how long it took; "
       "the sweeps run loops until within tolerance or --loops",
       nullptr, [](Values const&, BatchOptions& o) { o.m_equilibrate = true; }},
      {"solver", "S",
       "how --equilibrate reaches equilibrium: 'newton', the global solver (every junction and pressure at once; "
       "--quasi-static always uses it), or 'junction', the simulation loop's sweeps",
       [](BatchOptions const&) { return std::string("newton"); },
       [](Values const& v, BatchOptions& o) {
         if (v[0] == "newton") {
           o.m_solver = EquilibriumSolver::newton;
         } else if (v[0] == "junction") {
           o.m_solver = EquilibriumSolver::junction;
         } else {
           throw OptionError{"--solver: '" + v[0] + "' is not newton or junction"};
         }
       }},
      {"tolerance", "A G",
       "equilibrium is reached when every area is within A of its target (relative to the larger of the target and "
       "a tenth of the mean target; for the sweeps, absolute) and every angle within G radians of 120 degrees",
       [](BatchOptions const&) { return std::string("1e-10 1e-10; 1e-6 1e-4 for the sweeps"); },
       [](Values const& v, BatchOptions& o) {
         o.m_tolerance_given = true;
         o.m_area_tolerance = parse_positive("tolerance", v[0]);
         o.m_angle_tolerance = parse_positive("tolerance", v[1]);
       }},
      {"quasi-static", "",
       "coarsen at equilibrium: each loop diffuses gas, makes the due T2 and T1 events, then solves the foam "
       "exactly (to --tolerance); the foam as built is solved first",
       nullptr,
       [](Values const&, BatchOptions& o) {
         o.m_quasi_static = true;
         o.m_solver = EquilibriumSolver::newton;
       }},
      {"csv", "FILE", "statistics, one row for the foam as built and one per loop ('-': standard output)",
       [](BatchOptions const&) { return std::string("standard output"); },
       [](Values const& v, BatchOptions& o) { o.m_csv = require_text("csv", v[0]); }},
      {"track", "FILE",
       "follow every bubble: one row per bubble (the outer bubble left out) for the foam as built and per loop, "
       "with loop, tag (the bubble's identity through T1 and T2 events), films, area, target and pressure",
       nullptr, [](Values const& v, BatchOptions& o) { o.m_track = require_text("track", v[0]); }},
      {"save", "FILE", "write the final foam to FILE", nullptr,
       [](Values const& v, BatchOptions& o) { o.m_save = require_text("save", v[0]); }},
      {"save-every", "K", "write the foam as built and after every K-th loop to numbered files", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_save_every = parse_whole("save-every", v[0], 1, std::numeric_limits<std::uint64_t>::max() / 2);
       }},
      {"save-prefix", "P", "numbered foams are named P, the loop in six digits, '.foam'",
       [](BatchOptions const& o) { return o.m_save_prefix; },
       [](Values const& v, BatchOptions& o) { o.m_save_prefix = require_text("save-prefix", v[0]); }},
      {"snapshot", "FILE", "draw the final foam to FILE: SVG, PDF or PNG by its extension", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_snapshot = require_text("snapshot", v[0]);
         SnapshotFormat format;
         if (!kordal::snapshot_format_from_path(o.m_snapshot, format)) {
           throw OptionError{"--snapshot: '" + o.m_snapshot + "' does not end in .svg, .pdf or .png"};
         }
       }},
      {"snapshot-every", "K", "draw the foam as built and after every K-th loop to numbered files", nullptr,
       [](Values const& v, BatchOptions& o) {
         o.m_snapshot_every = parse_whole("snapshot-every", v[0], 1, std::numeric_limits<std::uint64_t>::max() / 2);
       }},
      {"snapshot-prefix", "P", "numbered pictures are named P, the loop in six digits, the format's extension",
       [](BatchOptions const& o) { return o.m_snapshot_prefix; },
       [](Values const& v, BatchOptions& o) { o.m_snapshot_prefix = require_text("snapshot-prefix", v[0]); }},
      {"snapshot-format", "F", "format of the numbered pictures: svg, pdf or png",
       [](BatchOptions const&) { return std::string("png"); },
       [](Values const& v, BatchOptions& o) {
         if (!kordal::snapshot_format_from_path("x." + v[0], o.m_snapshot_format)) {
           throw OptionError{"--snapshot-format: '" + v[0] + "' is not svg, pdf or png"};
         }
       }},
      {"snapshot-size", "W H", "picture size in pixels (PNG) or points (SVG, PDF)",
       [](BatchOptions const& o) {
         return std::to_string(o.m_snapshot_width) + " x " + std::to_string(o.m_snapshot_height);
       },
       [](Values const& v, BatchOptions& o) {
         // cairo's image surfaces stop at 32767 pixels a side.
         o.m_snapshot_width = static_cast<int>(parse_whole("snapshot-size", v[0], 1, 32767));
         o.m_snapshot_height = static_cast<int>(parse_whole("snapshot-size", v[1], 1, 32767));
       }},
      {"help", "", "show this text and exit", nullptr, [](Values const&, BatchOptions&) {}},
  };
  return table;
}

OptionSpec const* find_option(std::string const& name) {
  for (auto const& entry : option_table()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

// Combinations that the single options cannot judge alone.
void check_combination(std::set<std::string> const& given, BatchOptions const& o) {
  auto has = [&](char const* name) { return given.count(name) > 0; };
  int const sources = has("sites") + has("preset") + has("site-file") + has("load");
  if (sources > 1) throw OptionError{"choose one foam source: --sites, --preset, --site-file or --load"};
  if (has("domain") && o.m_source != FoamSource::random_sites) {
    throw OptionError{"--domain applies to random sites (--sites) only"};
  }
  if (has("no-outer") && o.m_source == FoamSource::load) {
    throw OptionError{"--no-outer applies to a foam that is built, not to --load"};
  }
  if (o.m_equilibrate && o.m_quasi_static) throw OptionError{"choose --equilibrate or --quasi-static, not both"};
  if ((has("solver") || has("tolerance")) && !o.m_equilibrate && !o.m_quasi_static) {
    throw OptionError{std::string(has("solver") ? "--solver" : "--tolerance") +
                      " applies to --equilibrate or --quasi-static only"};
  }
  if (o.m_quasi_static && has("solver") && o.m_solver == EquilibriumSolver::junction) {
    throw OptionError{"--quasi-static solves with the newton solver only"};
  }
  if (has("until-bubbles") && o.m_equilibrate) {
    throw OptionError{"--until-bubbles does not apply to --equilibrate, which stops at equilibrium or --loops"};
  }
  if (has("save-prefix") && !has("save-every")) throw OptionError{"--save-prefix needs --save-every"};
  if ((has("snapshot-prefix") || has("snapshot-format")) && !has("snapshot-every")) {
    throw OptionError{std::string(has("snapshot-prefix") ? "--snapshot-prefix" : "--snapshot-format") +
                      " needs --snapshot-every"};
  }
}

}  // namespace

ParseResult parse_options(std::vector<std::string> const& args, BatchOptions& options, std::string& error) {
  for (auto const& a : args) {
    if (a == "--help" || a == "-h") return ParseResult::help;
  }
  BatchOptions o;
  std::set<std::string> given;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      std::string const& arg = args[i];
      if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
        throw OptionError{"unexpected argument '" + arg + "' (options start with --; see --help)"};
      }
      std::string name = arg.substr(2);
      Values values;
      bool inline_value = false;
      auto const eq = name.find('=');
      if (eq != std::string::npos) {
        values.push_back(name.substr(eq + 1));
        name.resize(eq);
        inline_value = true;
      }
      OptionSpec const* entry = find_option(name);
      if (entry == nullptr) throw OptionError{"unknown option '--" + name + "' (see --help)"};
      std::size_t const n = arity(*entry);
      if (inline_value && n != 1) {
        throw OptionError{
            "--" + name +
            (n == 0 ? " takes no value" : " takes " + std::to_string(n) + " values, given as separate arguments")};
      }
      if (!inline_value) {
        for (std::size_t k = 0; k < n; ++k) {
          // A value may be negative ("-3"), but never another option.
          if (i + 1 >= args.size() || args[i + 1].compare(0, 2, "--") == 0) {
            throw OptionError{"--" + name + " needs " + std::string(entry->values)};
          }
          values.push_back(args[++i]);
        }
      }
      if (!given.insert(name).second) throw OptionError{"--" + name + " is given twice"};
      entry->apply(values, o);
    }
    check_combination(given, o);
  } catch (OptionError const& e) {
    error = e.what;
    return ParseResult::error;
  }
  options = o;
  return ParseResult::run;
}

std::string help_text() {
  BatchOptions const defaults;
  std::ostringstream out;
  out << "usage: froth-batch [options]\n"
         "\n"
         "Builds or loads a foam and coarsens it headless, with the interactive program's\n"
         "simulation: each loop diffuses gas, then visits every junction once (T2, T1 or\n"
         "equilibration). Stops at --until-bubbles bubbles or fewer, or after --loops\n"
         "loops. Statistics go to the CSV; a progress bar (on a terminal) and one summary\n"
         "line go to standard error.\n"
         "\n"
         "options (one foam source; --sites 200 when none is given):\n";
  for (auto const& entry : option_table()) {
    std::string head = std::string("  --") + entry.name;
    if (*entry.values) head += std::string(" ") + entry.values;
    out << head;
    std::string text = entry.help;
    if (entry.default_text) text += " (default " + entry.default_text(defaults) + ")";
    // Help text wrapped to 80 columns at 26.
    std::size_t column = head.size();
    std::istringstream words(text);
    std::string word;
    bool first = true;
    while (words >> word) {
      if (first && column >= 25) {
        out << '\n' << std::string(26, ' ');
        column = 26;
      } else if (first) {
        out << std::string(26 - column, ' ');
        column = 26;
      } else if (column + 1 + word.size() > 80) {
        out << '\n' << std::string(26, ' ');
        column = 26;
      } else {
        out << ' ';
        ++column;
      }
      out << word;
      column += word.size();
      first = false;
    }
    out << '\n';
  }
  out << "\n"
         "A large foam keeps the bubbles' size, and with it the meaning of the thresholds\n"
         "and of the diffusion step, when --domain grows with --sites: for example\n"
         "--sites 20000 --domain 960 540 has the density of the window's 200 sites.\n"
         "With --quasi-static every loop ends with the foam solved exactly, so every CSV\n"
         "row is a foam at equilibrium; the summary adds the solver's total time and the\n"
         "largest residuals it left.\n"
         "Exit status: 0 when done, 2 for a bad option or input file, 1 when an output\n"
         "cannot be written, 3 when the solver could not reach equilibrium, 130 when\n"
         "interrupted (the outputs are still written).\n";
  return out.str();
}

}  // namespace batch
}  // namespace Quarvel
