#ifndef FROTH_FOAM_SIMULATION_PARAMETERS_H
#define FROTH_FOAM_SIMULATION_PARAMETERS_H

#include <cstdint>

namespace Quarvel {
namespace kordal {

/// The simulation's parameters with the window's start-up values: the one
/// definition that the window, froth-batch, the tests and the benchmarks read.
struct SimulationParameters {
  double m_film_tension = 0.25;      ///< tension of one film surface
  double m_permeability = 0.1;       ///< gas permeability of the films
  std::uint32_t m_max_iterations = 4;  ///< equilibration iterations per junction and visit
  double m_tau = 0.5;                ///< Newton step length
  double m_t1_threshold = 0.05;      ///< film length at or below which a T1 is due
  double m_t2_threshold = 0.05;      ///< target area at or below which a T2 is due
  int m_site_count = 200;            ///< random sites of a new foam
  double m_domain_width = 96.0;      ///< the rectangle random sites fill, in foam units
  double m_domain_height = 54.0;
};

/// Sets a simulator's parameters from the set.
template <typename Simulator>
void apply_parameters(SimulationParameters const& p, Simulator& sim) {
  sim.m_film_tension = p.m_film_tension;
  sim.m_permeability = p.m_permeability;
  sim.m_max_iterations = p.m_max_iterations;
  sim.m_tau = p.m_tau;
  sim.m_t1_threshold = p.m_t1_threshold;
  sim.m_t2_threshold = p.m_t2_threshold;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
