// Cost of junction equilibration with the application's values (4 iterations,
// tau 0.5) on generated foams: one call, and a sweep over every junction.

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
using vertex_handle = FoamMesh::vertex_handle;

/// A foam of `count` random sites as the rebuild command makes it, the window
/// grown with the count so that bubbles keep the size of a 200-site foam.
FoamMesh make_foam(int count) {
  std::vector<Quarvel::kordal::vector3_type> sites;
  double const grow = std::sqrt(count / 200.0);
  Quarvel::kordal::seed_random_generator(1234);
  Quarvel::kordal::make_random_sites(sites, count, 960.0 * grow, 540.0 * grow);
  FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, 0.25);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  return foam;
}

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
