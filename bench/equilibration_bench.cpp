// Cost of junction equilibration with the application's values (4 iterations,
// tau 0.5) on generated foams: one call, and a sweep over every junction.

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
using vertex_handle = FoamMesh::vertex_handle;

FoamMesh make_foam(int count) { return froth_bench::make_foam(count, 1234); }

std::vector<vertex_handle> junctions_of(FoamMesh const& foam) {
  std::vector<vertex_handle> out;
  for (auto const& v : foam.vertices()) out.push_back(v.m_self);
  return out;
}

// One call, cycling through the junctions of a fresh 200-bubble foam; the
// foam is made fresh again after every full pass.
void BM_EquilibrateOneJunction(benchmark::State& state) {
  FoamMesh const pristine = make_foam(200);
  FoamMesh foam = pristine;
  FoamSimulator sim(&foam);
  std::vector<vertex_handle> const junctions = junctions_of(pristine);
  unsigned const max_iterations = 4;
  double const tau = 0.5;
  std::size_t next = 0;
  for (auto _ : state) {
    sim.equilibrate(junctions[next], max_iterations, tau);
    if (++next == junctions.size()) {
      state.PauseTiming();
      foam = pristine;
      next = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EquilibrateOneJunction)->Unit(benchmark::kMicrosecond);

// The first sweep over every junction of a fresh foam of range(0) sites.
void BM_EquilibrateSweep(benchmark::State& state) {
  FoamMesh const pristine = make_foam(static_cast<int>(state.range(0)));
  FoamMesh foam = pristine;
  FoamSimulator sim(&foam);
  std::vector<vertex_handle> const junctions = junctions_of(pristine);
  unsigned const max_iterations = 4;
  double const tau = 0.5;
  for (auto _ : state) {
    state.PauseTiming();
    foam = pristine;
    state.ResumeTiming();
    for (vertex_handle v : junctions) sim.equilibrate(v, max_iterations, tau);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(junctions.size()));
  state.counters["bubbles"] = static_cast<double>(pristine.face_size());
}
BENCHMARK(BM_EquilibrateSweep)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
