#ifndef FROTH_TOOLS_BATCH_RUN_H
#define FROTH_TOOLS_BATCH_RUN_H

#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "batch_options.h"
#include "foam/foam2d_simulator.h"
#include "foam/foam_mesh.h"
#include "foam/foam_session.h"
#include "foam/foam_statistics.h"
#include "render/cairo_snapshot.h"
#include "solver/equilibrium_solver.h"

namespace Quarvel {
namespace batch {

using kordal::FoamMesh;
using kordal::FoamSimulator;
using FoamStatistics = kordal::FoamStatistics<FoamMesh>;

/// What the window holds of a simulation: the foam, the simulator and the
/// statistics over it. Not copyable: the two point at the foam.
struct BatchFoam {
  FoamMesh m_foam;
  FoamSimulator m_simulator{&m_foam};
  FoamStatistics m_statistics{&m_foam};

  BatchFoam() = default;
  BatchFoam(BatchFoam const&) = delete;
  BatchFoam& operator=(BatchFoam const&) = delete;
};

/// Sets the simulator's parameters from the options (their defaults are the
/// window's start-up values).
void set_parameters(BatchOptions const& options, FoamSimulator& simulator);

/// The window's rebuild from a site list followed by its pressure reset:
/// clear, generate with pressure scale 1 and the simulator's film tension,
/// close the open border with an outer bubble of pressure 0 (unless
/// `outer` is false), reset the statistics and the simulator's event
/// counters, set every pressure to 1 and the outer bubble's target area to
/// its area, and refresh the statistics with step time 0.
void rebuild(BatchFoam& state, std::vector<math::BasicMathTypes::vector3_type> const& sites, bool outer);

/// The statistics refresh of the window after a step of `seconds`: the step
/// time is set, the statistics updated, and the simulator's T1 and T2
/// counts moved into the totals. Returns the counts moved.
using kordal::StepEvents;
StepEvents refresh_statistics(BatchFoam& state, double seconds);

/// Builds or loads the foam that the options name, seeding the generator
/// first when --seed is given. Returns false with one line in `error` for an
/// input file that cannot be read; `note` says so when the sites give an
/// empty foam (this is no error).
bool build_foam(BatchOptions const& options, BatchFoam& state, std::string& error, std::string& note);

/// One idle step of the window: diffuse(), then one simulate() with the
/// simulator's own iteration cap and tau, timed, then the statistics
/// refresh. Returns the step's events; `seconds` gets its duration.
StepEvents idle_step(BatchFoam& state, double& seconds);

/// One loop of equilibration: simulate() without diffusion, timed, then the
/// statistics refresh.
StepEvents equilibration_step(BatchFoam& state, double& seconds);

/// The largest deviations from equilibrium over the measured bubbles and
/// junctions (as the statistics choose them): |target area - area| and
/// |120 degrees - angle| in radians.
struct Residuals {
  double m_area = 0.0;
  double m_angle = 0.0;
};
Residuals largest_residuals(FoamMesh const& foam);

/// Tolerances of --equilibrate: those under which equilibration calls a
/// junction converged.
constexpr double equilibrium_area_tolerance = kordal::junction_area_tolerance;
constexpr double equilibrium_angle_tolerance = kordal::junction_angle_tolerance;
/// --equilibrate gives up when its residuals, measured against those
/// tolerances, have not improved by 1% in this many loops.
constexpr std::uint64_t equilibrium_stall_loops = 2000;

/// The solver's settings for --equilibrate and --quasi-static: the
/// tolerances (1e-10 for both unless --tolerance) and the T1 and T2
/// thresholds of the simulation.
solver::SolverSettings solver_settings(BatchOptions const& options);

/// One loop of --quasi-static: diffuse(), then every junction, in an order
/// shuffled by the program's generator, takes part in a due T2, else a due T1
/// (the events' own follow-up equilibration limited to one iteration), then
/// the whole foam is solved; timed, then the statistics refresh. `solve`
/// gets the solver's result; on failure the foam is as the events left it.
StepEvents quasi_static_step(BatchFoam& state, solver::SolverSettings const& settings, double& seconds,
                             solver::SolverResult& solve);

/// Where a run reports, and what can stop it from outside.
struct RunEnvironment {
  std::ostream* m_err = nullptr;                            ///< progress bar, notes, errors, the summary line
  bool m_progress = false;                                  ///< draw the progress bar (a terminal)
  volatile std::sig_atomic_t const* m_interrupt = nullptr;  ///< set when the run should stop after this loop
};

/// Writes a snapshot of the foam to `path` as a whole file (through
/// AtomicOutput); false with "path: what went wrong" in `error`.
bool write_picture(FoamMesh const& foam, std::string const& path, kordal::SnapshotFormat format,
                   kordal::SnapshotStyle const& style, std::string& error);

/// Exit statuses of a run.
constexpr int exit_done = 0;
constexpr int exit_output_failed = 1;
constexpr int exit_bad_input = 2;
constexpr int exit_not_equilibrated = 3;  ///< --equilibrate or --quasi-static short of the tolerances
constexpr int exit_interrupted = 130;

/// A whole batch run as the options describe it: build or load, write the
/// CSV header and the row of the foam as built, repeat the idle step (or
/// the equilibration loop) until a stop rule holds, writing a row and the
/// numbered outputs after each loop, then the final outputs and one summary
/// line. Bad input ends the run before any output exists (status 2). An
/// output that cannot be written during the run stops it, and the others are
/// still written (status 1). --equilibrate that ends short of its
/// tolerances gives status 3. Returns the exit status.
int run_batch(BatchOptions const& options, RunEnvironment const& environment);

}  // namespace batch
}  // namespace Quarvel

#endif
