#ifndef FROTH_TOOLS_BATCH_OPTIONS_H
#define FROTH_TOOLS_BATCH_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "foam/simulation_parameters.h"
#include "render/cairo_snapshot.h"

namespace Quarvel {
namespace batch {

/// Where the foam of a batch run comes from.
enum class FoamSource { random_sites, preset, site_file, load };

/// How --equilibrate brings the foam to equilibrium: the global Newton
/// solver, or the simulation loop's junction sweeps.
enum class EquilibriumSolver { newton, junction };

/// Everything the command line of froth-batch sets; the defaults are the
/// interactive program's start-up values.
struct BatchOptions {
  static constexpr kordal::SimulationParameters window{};

  FoamSource m_source = FoamSource::random_sites;
  int m_sites = window.m_site_count;              ///< --sites
  int m_preset = 0;               ///< --preset (1 to 3)
  std::string m_site_file;        ///< --site-file
  std::string m_load_file;        ///< --load
  bool m_seed_given = false;      ///< --seed given; otherwise the time seeds the generator
  std::uint32_t m_seed = 0;       ///< --seed
  double m_domain_width = window.m_domain_width;   ///< --domain W: width of the rectangle random sites fill
  double m_domain_height = window.m_domain_height;  ///< --domain H
  bool m_no_outer = false;        ///< --no-outer

  bool m_film_tension_given = false;
  /// --film-tension, --permeability, --max-iterations (0: no cap), --tau,
  /// --t1-threshold, --t2-threshold
  kordal::SimulationParameters m_simulation = window;

  bool m_loops_given = false;
  std::uint64_t m_loops = 0;     ///< --loops: cap on the loops run
  unsigned m_until_bubbles = 5;  ///< --until-bubbles: stop at this many bubbles or fewer, outer counted
  std::uint64_t m_stall_loops = 20000;  ///< --stall-loops: stop when no bubble vanished for this many loops (0: never)
  bool m_equilibrate = false;    ///< --equilibrate: bring the foam to equilibrium
  EquilibriumSolver m_solver = EquilibriumSolver::newton;  ///< --solver
  bool m_tolerance_given = false;
  double m_area_tolerance = 1e-10;   ///< --tolerance A (the sweeps' default: 1e-6)
  double m_angle_tolerance = 1e-10;  ///< --tolerance G (the sweeps' default: 1e-4)
  bool m_quasi_static = false;       ///< --quasi-static: every loop ends at equilibrium

  std::string m_csv = "-";         ///< --csv ("-": standard output)
  std::string m_track;             ///< --track: one row per bubble per loop
  std::string m_save;              ///< --save: the final foam
  std::uint64_t m_save_every = 0;  ///< --save-every (0: never)
  std::string m_save_prefix = "foam-";
  std::string m_snapshot;  ///< --snapshot: the final picture
  std::uint64_t m_snapshot_every = 0;
  std::string m_snapshot_prefix = "snapshot-";
  Quarvel::kordal::SnapshotFormat m_snapshot_format = Quarvel::kordal::SnapshotFormat::png;
  int m_snapshot_width = 960;   ///< --snapshot-size W
  int m_snapshot_height = 540;  ///< --snapshot-size H
};

/// What parse_options found.
enum class ParseResult { run, help, error };

/// Reads the arguments after the program name. Every option has a long
/// name, takes its values as the following arguments or as "--name=value"
/// (one-value options), and may be given once. Returns help when --help (or
/// -h) is among them, error with one line in `error` for an unknown option, a
/// missing or malformed value, a value out of range, a repeated option or a
/// combination that means nothing (two foam sources, --domain without random
/// sites, a prefix without its --*-every, ...); otherwise run.
ParseResult parse_options(std::vector<std::string> const& args, BatchOptions& options, std::string& error);

/// The --help text: usage, then every option with its default.
std::string help_text();

}  // namespace batch
}  // namespace Quarvel

#endif
