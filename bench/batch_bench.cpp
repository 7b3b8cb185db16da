// The foam file on large foams: what saving and loading cost next to a loop.

#include <benchmark/benchmark.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "foam/simulation_parameters.h"
#include "foam/dual_foam.h"
#include "foam/foam_file.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"

namespace {

using Quarvel::kordal::FoamMesh;

// A foam of `sites` random sites at the window's density (200 sites in
// 96 x 54 units), closed by the outer bubble.
FoamMesh large_foam(int sites) {
  std::vector<Quarvel::kordal::vector3_type> s;
  Quarvel::kordal::seed_random_generator(1);
  double const scale = std::sqrt(sites / 200.0);
  Quarvel::kordal::make_random_sites(s, sites, 960.0 * scale, 540.0 * scale);
  FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, s, 1.0, Quarvel::kordal::SimulationParameters{}.m_film_tension);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  return foam;
}

void BM_WriteFoam(benchmark::State& state) {
  FoamMesh const foam = large_foam(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    Quarvel::kordal::write_foam(foam, out);
    bytes = out.str().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteFoam)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ReadFoam(benchmark::State& state) {
  std::ostringstream out;
  Quarvel::kordal::write_foam(large_foam(static_cast<int>(state.range(0))), out);
  std::string const text = out.str();
  for (auto _ : state) {
    std::istringstream in(text);
    FoamMesh foam;
    std::string error;
    if (!Quarvel::kordal::read_foam(in, "bench", foam, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(foam.face_size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadFoam)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
