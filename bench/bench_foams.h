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
/// window's domain grown with the count so that bubbles keep the size of the
/// window's foam (and the thresholds and the diffusion step their meaning).
inline Quarvel::kordal::FoamMesh make_foam(int count, unsigned seed) {
  std::vector<Quarvel::kordal::vector3_type> sites;
  Quarvel::kordal::SimulationParameters const window;
  double const grow = std::sqrt(double(count) / window.m_site_count);
  Quarvel::kordal::seed_random_generator(seed);
  // The sites fill a tenth of the rectangle given, as the window's 'r' does
  // with its size in pixels.
  Quarvel::kordal::make_random_sites(sites, count, 10.0 * window.m_domain_width * grow,
                                     10.0 * window.m_domain_height * grow);
  Quarvel::kordal::FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, Quarvel::kordal::SimulationParameters{}.m_film_tension);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  return foam;
}

}  // namespace froth_bench

#endif
