#ifndef FROTH_BENCH_BENCH_FOAMS_H
#define FROTH_BENCH_BENCH_FOAMS_H

// Foams shared by the benchmarks.

#include <cmath>
#include <vector>

#include "foam/simulation_parameters.h"
#include "foam/dual_foam.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"

namespace froth_bench {

/// A closed foam of `count` random sites as the rebuild command makes it, the
/// window grown with the count so that bubbles keep the size of a 200-site
/// foam (and the thresholds and the diffusion step their meaning).
inline Quarvel::kordal::FoamMesh make_foam(int count, unsigned seed) {
  std::vector<Quarvel::kordal::vector3_type> sites;
  double const grow = std::sqrt(count / 200.0);
  Quarvel::kordal::seed_random_generator(seed);
  Quarvel::kordal::make_random_sites(sites, count, 960.0 * grow, 540.0 * grow);
  Quarvel::kordal::FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, Quarvel::kordal::SimulationParameters{}.m_film_tension);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  return foam;
}

}  // namespace froth_bench

#endif
