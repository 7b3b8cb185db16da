#include "solver/quasi_static_step.h"

#include <utility>
#include <vector>

#include "foam/simulation_loop.h"

namespace Quarvel {
namespace solver {

SolverResult equilibrate_exactly(kordal::FoamSimulator& sim, kordal::FoamMesh& foam, SolverSettings const& settings) {
  SolverResult solve = solve_equilibrium(foam, settings);
  sim.m_t1_count += solve.m_t1_count;
  sim.m_t2_count += solve.m_t2_count;
  return solve;
}

SolverResult quasi_static_step(kordal::FoamSimulator& sim, kordal::FoamMesh& foam, SolverSettings const& settings) {
  sim.diffuse();
  // The simulation loop's events in its order; the global solve replaces
  // its equilibration.
  for (auto& film : foam.edges()) film.m_created_by_t1 = false;
  std::vector<kordal::FoamMesh::vertex_handle> order;
  order.reserve(foam.vertex_size());
  for (auto const& v : foam.vertices()) order.push_back(v.m_self);
  for (std::size_t i = 1; i < order.size(); ++i) std::swap(order[i], order[kordal::random_index(i + 1)]);
  unsigned const one = 1;
  for (kordal::FoamMesh::vertex_handle v : order) {
    if (!foam.is_valid_vertex_handle(v)) continue;
    if (!sim.perform_t2(v, one, sim.m_tau)) sim.perform_t1(v, one, sim.m_tau);
  }
  return equilibrate_exactly(sim, foam, settings);
}

}  // namespace solver
}  // namespace Quarvel
