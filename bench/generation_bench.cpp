// Foam generation from random sites: triangulation, dual, border repair,
// target areas and pressures, then the outer bubble. The per-site time must
// stay flat from 2,000 to 200,000 sites.

#include <vector>

#include <benchmark/benchmark.h>

#include "foam/simulation_parameters.h"
#include "foam/dual_foam.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"

namespace {

using namespace Quarvel::kordal;

void BM_GenerateFoam(benchmark::State& state) {
  int const count = static_cast<int>(state.range(0));
  seed_random_generator(1234u);
  std::vector<vector3_type> sites;
  make_random_sites(sites, count, 960.0, 540.0);
  std::size_t bubbles = 0;
  for (auto _ : state) {
    FoamMesh foam;
    generate_foam(foam, sites, 1.0, Quarvel::kordal::SimulationParameters{}.m_film_tension);
    close_open_boundary(foam, 0.0);
    bubbles = foam.face_size();
    benchmark::DoNotOptimize(bubbles);
    // Tearing the foam down is not part of generation.
    state.PauseTiming();
    foam.clear();
    state.ResumeTiming();
  }
  state.counters["bubbles"] = static_cast<double>(bubbles);
  state.counters["per_site"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_GenerateFoam)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
