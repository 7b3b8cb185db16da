#ifndef FROTH_SOLVER_FILM_REPAIRS_H
#define FROTH_SOLVER_FILM_REPAIRS_H

// The solver's repairs of the foam's topology and films between Newton runs
// and steps: the T1 rules it swaps by, swaps of tangled junctions' films,
// films drawn out where no swap may go.

#include <vector>

#include "foam/foam_mesh.h"
#include "solver/equilibrium_solver.h"

namespace Quarvel {
namespace solver {

/// The simulation loop's T1 rules for a film, the T2 threshold's included: a
/// film beside a bubble due for a T2 is left to that event.
bool may_swap(kordal::FoamMesh const& foam, polymesh::edge_handle film, SolverSettings const& settings);

/// After a swap made the film: its two junctions trade places when both are
/// tangled and that balances them better. Returns whether they did.
bool trade_ends_if_better(kordal::FoamMesh& foam, polymesh::edge_handle film);

/// Swaps the shortest film, if at most four T1 thresholds long, of each
/// tangled junction. Returns the swaps made.
unsigned swap_tangled(kordal::FoamMesh& foam, std::vector<polymesh::vertex_handle> const& tangled,
                      SolverSettings const& settings);

/// Draws films shorter than the T1 threshold beside a three-sided bubble out
/// to that length. Returns the films drawn out.
unsigned draw_out_blocked_films(kordal::FoamMesh& foam, SolverSettings const& settings);

/// The junctions of the foam with a bubble's corner wider than a half turn.
void find_tangled(kordal::FoamMesh const& foam, std::vector<polymesh::vertex_handle>& tangled);

}  // namespace solver
}  // namespace Quarvel

#endif
