#ifndef FROTH_SOLVER_EQUILIBRIUM_SOLVER_H
#define FROTH_SOLVER_EQUILIBRIUM_SOLVER_H

#include <iosfwd>
#include <string>
#include <vector>

#include "foam/foam_mesh.h"
#include "solver/sparse_factorisation.h"

namespace Quarvel {
namespace solver {

/// What the solve aims at and how it may get there.
struct SolverSettings {
  /// Largest |area - max(target, 0)| / max(target, mean target / 10) allowed.
  double m_area_tolerance = 1e-10;
  /// Largest |angle - 120 degrees| (radians) allowed at any junction.
  double m_angle_tolerance = 1e-10;
  unsigned m_max_iterations = 100;
  /// A film that gets this short (or shorter) is swapped by the T1 event's
  /// rules during the solve; 0 swaps none.
  double m_t1_threshold = 0.0;
  /// A film beside a bubble whose target area is at most this is left to the
  /// T2 event, as in the simulation loop.
  double m_t2_threshold = 0.0;
  /// Bubbles due for a T2 (target at most the threshold) go before the
  /// solve, by the simulation loop's rules. When Newton stalls,
  /// m_relaxation_sweeps sweeps of the loop's events and junction
  /// equilibration around the junctions that block it move the foam on from
  /// there before Newton starts again, at most m_relaxation_rounds times (a
  /// foam of 10^5 bubbles as built needs several).
  /// A foam of more than m_settle_bubbles bubbles whose angles are off by
  /// more than 0.2 rad is first settled by m_settle_sweeps such sweeps, where
  /// they cover less than half of it.
  unsigned m_settle_bubbles = 1000;
  unsigned m_settle_sweeps = 10;
  unsigned m_relaxation_sweeps = 30;
  unsigned m_relaxation_rounds = 20;
  Factorisation m_factorisation = default_factorisation();
  std::ostream* m_log = nullptr;  ///< one line per iteration, if set
};

/// How a solve ended.
enum class SolverOutcome { converged, bad_input, no_progress, singular_system, iteration_cap };

struct SolverResult {
  bool m_converged = false;
  SolverOutcome m_outcome = SolverOutcome::bad_input;
  std::string m_reason;     ///< one line: what was reached, or why not
  unsigned m_iterations = 0;
  double m_seconds = 0.0;
  double m_area_residual = 0.0;   ///< largest relative area residual at the end
  double m_angle_residual = 0.0;  ///< largest angle error (radians) at the end
  unsigned m_t1_count = 0;        ///< films swapped during the solve
  unsigned m_t2_count = 0;        ///< bubbles due for a T2 removed before the solve or by the sweeps
  unsigned m_relaxations = 0;     ///< rounds of junction sweeps it needed
  /// The scaled residual norm before each iteration and at the end.
  std::vector<double> m_residual_history;
};

/// Brings the foam to equilibrium: every three-fold junction inside the foam
/// with its films at 120 degrees and every ordinary bubble at its target area
/// (a negative target counts as 0), the outer bubble's pressure held. A
/// globalised Newton iteration on every junction position and pressure at
/// once: the analytic Jacobian is factorised, and the step is shortened until
/// it turns no bubble inside out, bends no film past a half circle (or
/// further, if already) and lowers the scaled residual norm. Films that get
/// as short as the T1 threshold are swapped by the T1 event's rules as the
/// solve goes. On bad input or any failure the foam is left exactly as it
/// was; nothing non-finite is ever written into it.
SolverResult solve_equilibrium(kordal::FoamMesh& foam, SolverSettings const& settings = SolverSettings());

/// The residuals that the solver's stop rule judges, measured on the foam
/// with compute_area and junction_angle: the largest relative area residual
/// over the ordinary bubbles and the largest angle error over the junctions
/// inside the foam.
struct EquilibriumResiduals {
  double m_area = 0.0;
  double m_angle = 0.0;
};
EquilibriumResiduals measure_equilibrium(kordal::FoamMesh const& foam);

/// The outcome in a few words ("converged", "no progress", ...).
char const* outcome_name(SolverOutcome outcome);

}  // namespace solver
}  // namespace Quarvel

#endif
