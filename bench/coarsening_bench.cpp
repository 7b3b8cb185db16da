// Cost of the idle step (diffusion, then one simulation loop with the
// window's parameters) against the size of the foam, and of a whole
// coarsening run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench_foams.h"
#include "foam/foam2d_simulator.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"

namespace {

using Quarvel::kordal::FoamMesh;
using Quarvel::kordal::FoamSimulator;

FoamMesh make_foam(int count) { return froth_bench::make_foam(count, 4321); }

void configure(FoamSimulator& sim) { Quarvel::kordal::apply_parameters(Quarvel::kordal::SimulationParameters{}, sim); }

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
