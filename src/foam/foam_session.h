#ifndef FROTH_FOAM_FOAM_SESSION_H
#define FROTH_FOAM_FOAM_SESSION_H

// The sequence that the window and froth-batch share: a foam rebuilt from
// sites with its pressures reset, the idle step, and the hand-over of a
// loop's T1 and T2 counts to the statistics' totals.

#include <cstdint>
#include <vector>

#include "foam/dual_foam.h"
#include "foam/foam_geometry.h"

namespace Quarvel {
namespace kordal {

/// The topological events of one loop.
struct StepEvents {
  std::uint32_t m_t1 = 0;
  std::uint32_t m_t2 = 0;
};

/// How a new foam starts: every pressure 1.0, and the outer bubble's target
/// area its computed area.
template <typename Mesh>
void reset_pressures(Mesh& foam) {
  for (auto& bubble : foam.faces()) bubble.m_pressure = 1.0;
  auto const outer = find_outer_bubble(foam);
  if (!outer.is_null()) foam.get_face(outer).m_target_area = compute_area(foam.get_face(outer));
}

/// The foam of `sites` anew: generated with the pressure scale and the
/// simulator's film tension, its open border closed by an outer bubble of
/// pressure 0 when `outer`, the statistics and the simulator's event counts
/// zeroed, and the pressures reset.
template <typename Mesh, typename Simulator, typename Statistics, typename Sites>
void rebuild_foam(Mesh& foam, Simulator& sim, Statistics& statistics, Sites const& sites, double pressure_scale,
                  bool outer) {
  foam.clear();
  generate_foam(foam, sites, pressure_scale, sim.m_film_tension);
  if (outer) close_open_boundary(foam, 0.0);
  statistics.reset();
  sim.m_t1_count = 0;
  sim.m_t2_count = 0;
  reset_pressures(foam);
}

/// The window's idle step: gas diffusion, then one loop with the
/// simulator's own iteration cap and tau.
template <typename Simulator>
void idle_step(Simulator& sim) {
  sim.diffuse();
  sim.simulate(sim.m_max_iterations, sim.m_tau);
}

/// Moves the simulator's T1 and T2 counts into the statistics' totals and
/// returns them.
template <typename Simulator, typename Statistics>
StepEvents hand_over_events(Simulator& sim, Statistics& statistics) {
  StepEvents const events{sim.m_t1_count, sim.m_t2_count};
  statistics.m_t1_total += events.m_t1;
  statistics.m_t2_total += events.m_t2;
  sim.m_t1_count = 0;
  sim.m_t2_count = 0;
  return events;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
