#ifndef FROTH_SOLVER_QUASI_STATIC_STEP_H
#define FROTH_SOLVER_QUASI_STATIC_STEP_H

// One loop of coarsening at equilibrium, as the window, froth-batch and the
// Python module run it.

#include "foam/foam2d_simulator.h"
#include "foam/foam_mesh.h"
#include "solver/equilibrium_solver.h"

namespace Quarvel {
namespace solver {

/// The solver's settings for a simulator or a parameter set: the default
/// tolerances and its T1 and T2 thresholds.
template <typename Parameters>
SolverSettings settings_for(Parameters const& p) {
  SolverSettings s;
  s.m_t1_threshold = p.m_t1_threshold;
  s.m_t2_threshold = p.m_t2_threshold;
  return s;
}

/// solve_equilibrium, its T1s and T2s added to the simulator's counts.
SolverResult equilibrate_exactly(kordal::FoamSimulator& sim, kordal::FoamMesh& foam, SolverSettings const& settings);

/// diffuse(), then every junction, in an order shuffled by the program's
/// generator, takes part in a due T2, else a due T1 (the events' own
/// follow-up equilibration limited to one iteration), then the whole foam is
/// solved. The solver's T1s and T2s are added to the simulator's counts. On failure
/// the foam is as the events left it.
SolverResult quasi_static_step(kordal::FoamSimulator& sim, kordal::FoamMesh& foam, SolverSettings const& settings);

}  // namespace solver
}  // namespace Quarvel

#endif
