// Cost of the idle step (diffusion, then one simulation loop with the
// window's parameters) against the size of the foam, and of a whole
// coarsening run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "foam/dual_foam.h"
#include "foam/foam2d_simulator.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"

namespace {

using Quarvel::kordal::FoamMesh;
using Quarvel::kordal::FoamSimulator;

/// A closed foam of `count` random sites, the window grown with the count so
/// that bubbles keep the size of a 200-site foam (and the thresholds and the
/// diffusion step their meaning).
FoamMesh make_foam(int count) {
  std::vector<Quarvel::kordal::vector3_type> sites;
  double const grow = std::sqrt(count / 200.0);
  Quarvel::kordal::seed_random_generator(4321);
  Quarvel::kordal::make_random_sites(sites, count, 960.0 * grow, 540.0 * grow);
  FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, 0.25);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  return foam;
}

void configure(FoamSimulator& sim) {
  sim.m_film_tension = 0.25;
  sim.m_permeability = 0.1;
  sim.m_max_iterations = 4;
  sim.m_tau = 0.5;
  sim.m_t1_threshold = 0.05;
  sim.m_t2_threshold = 0.05;
}

// One idle step; the foam starts afresh every 8 steps so that it stays near
// its initial size.
void BM_IdleStep(benchmark::State& state) {
  FoamMesh const pristine = make_foam(static_cast<int>(state.range(0)));
  FoamMesh foam = pristine;
  FoamSimulator sim(&foam);
  configure(sim);
  int steps = 0;
  for (auto _ : state) {
    sim.diffuse();
    sim.simulate(sim.m_max_iterations, sim.m_tau);
    if (++steps % 8 == 0) {
      state.PauseTiming();
      foam = pristine;
      state.ResumeTiming();
    }
  }
  state.counters["junctions"] = static_cast<double>(pristine.vertex_size());
  state.SetItemsProcessed(state.iterations() * static_cast<long>(pristine.vertex_size()));
}
BENCHMARK(BM_IdleStep)->Arg(200)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// A 2,000-bubble foam coarsened down to 20 bubbles.
void BM_CoarsenTo20(benchmark::State& state) {
  FoamMesh const pristine = make_foam(2000);
  long loops = 0;
  for (auto _ : state) {
    FoamMesh foam = pristine;
    FoamSimulator sim(&foam);
    configure(sim);
    Quarvel::kordal::seed_random_generator(99);
    while (foam.face_size() > 21) {  // 20 bubbles and the outer one
      sim.diffuse();
      sim.simulate(sim.m_max_iterations, sim.m_tau);
      ++loops;
    }
  }
  state.counters["loops"] = static_cast<double>(loops) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CoarsenTo20)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
