// The global equilibrium solver on generated foams at the window's density
// (the domain grows with the site count), with either factorisation, and
// against the junction sweeps on the presets at the sweeps' tolerance.

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench_foams.h"
#include "foam/foam2d_simulator.h"
#include "foam/simulation_parameters.h"
#include "foam/site_sets.h"
#include "solver/equilibrium_solver.h"
#include "solver/foam_system.h"
#include "solver/memory_reuse.h"
#include "solver/quasi_static_step.h"
#include "solver/sparse_factorisation.h"

namespace {

using Quarvel::kordal::FoamMesh;
namespace solver = Quarvel::solver;

// As froth-batch and the window do at their start.
[[maybe_unused]] bool const memory_kept = (solver::keep_freed_memory(), true);

solver::SolverSettings window_settings() {
  solver::SolverSettings s;
  s.m_t1_threshold = Quarvel::kordal::SimulationParameters{}.m_t1_threshold;
  s.m_t2_threshold = Quarvel::kordal::SimulationParameters{}.m_t2_threshold;
  return s;
}

/// Times solves of fresh copies of `pristine`, and reports the last.
void time_solves(benchmark::State& state, FoamMesh const& pristine, solver::SolverSettings const& settings) {
  solver::SolverResult r;
  FoamMesh foam;
  for (auto _ : state) {
    state.PauseTiming();
    foam = pristine;
    state.ResumeTiming();
    r = solver::solve_equilibrium(foam, settings);
  }
  state.counters["bubbles"] = double(foam.face_size() - 1);
  state.counters["iterations"] = double(r.m_iterations);
  state.counters["relaxations"] = double(r.m_relaxations);
  state.counters["converged"] = r.m_converged ? 1.0 : 0.0;
}

// From a freshly generated foam (pressures 1, straight films) to 1e-10.
void BM_SolveGeneratedFoam(benchmark::State& state) {
  FoamMesh const pristine = froth_bench::make_foam(int(state.range(0)), 1234);
  solver::SolverSettings settings = window_settings();
  settings.m_factorisation = state.range(1) == 0 ? solver::Factorisation::sparse_lu : solver::Factorisation::umfpack;
  time_solves(state, pristine, settings);
}
BENCHMARK(BM_SolveGeneratedFoam)
    ->ArgNames({"sites", "umfpack"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({3000, 1})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({30000, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One factorisation of a generated foam's Jacobian, with each library: the
// cost of one Newton iteration, whatever the iteration counts.
void BM_FactoriseJacobian(benchmark::State& state) {
  FoamMesh const foam = froth_bench::make_foam(int(state.range(0)), 1234);
  solver::FoamSystem system;
  std::string error;
  system.gather(foam, error);
  system.evaluate();
  solver::SparseMatrix J;
  system.jacobian(J);
  solver::SparseFactorisation lu(state.range(1) == 0 ? solver::Factorisation::sparse_lu
                                                     : solver::Factorisation::umfpack);
  lu.factorise(J, true);
  for (auto _ : state) benchmark::DoNotOptimize(lu.factorise(J, false));
  state.counters["unknowns"] = double(system.unknowns());
}
BENCHMARK(BM_FactoriseJacobian)
    ->ArgNames({"sites", "umfpack"})
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// One loop of quasi-static coarsening from an equilibrium: a step of
// diffusion, the due T2s and T1s, and the solve.
void BM_QuasiStaticLoop(benchmark::State& state) {
  FoamMesh pristine = froth_bench::make_foam(int(state.range(0)), 1234);
  bool const solved = solver::solve_equilibrium(pristine, window_settings()).m_converged;
  std::size_t const before = pristine.face_size() - 1;
  solver::SolverResult r;
  FoamMesh foam;
  for (auto _ : state) {
    state.PauseTiming();
    foam = pristine;
    Quarvel::kordal::FoamSimulator sim(&foam);
    Quarvel::kordal::apply_parameters(Quarvel::kordal::SimulationParameters{}, sim);
    Quarvel::kordal::seed_random_generator(1);
    state.ResumeTiming();
    r = solver::quasi_static_step(sim, foam, window_settings());
  }
  state.counters["bubbles"] = double(before);
  state.counters["vanished"] = double(before - (foam.face_size() - 1));
  state.counters["iterations"] = double(r.m_iterations);
  state.counters["converged"] = solved && r.m_converged ? 1.0 : 0.0;
}
BENCHMARK(BM_QuasiStaticLoop)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

FoamMesh preset_foam(int n) {
  std::vector<Quarvel::kordal::vector3_type> sites;
  Quarvel::kordal::load_preset_sites(sites, n);
  FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, 0.25);
  Quarvel::kordal::close_open_boundary(foam, 0.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  return foam;
}

// The presets at the sweeps' tolerance (area 1e-6, angle 1e-4): the solver...
void BM_PresetNewton(benchmark::State& state) {
  FoamMesh const pristine = preset_foam(int(state.range(0)));
  solver::SolverSettings settings = window_settings();
  settings.m_area_tolerance = 1e-6;
  settings.m_angle_tolerance = 1e-4;
  time_solves(state, pristine, settings);
}
BENCHMARK(BM_PresetNewton)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

// ... and the simulation loop's sweeps, loop after loop until within it (the
// area absolute, as the sweeps judge it).
void BM_PresetSweeps(benchmark::State& state) {
  FoamMesh const pristine = preset_foam(int(state.range(0)));
  FoamMesh foam;
  int loops = 0;
  for (auto _ : state) {
    state.PauseTiming();
    foam = pristine;
    state.ResumeTiming();
    Quarvel::kordal::FoamSimulator sim(&foam);
    sim.m_film_tension = 0.25;
    sim.m_max_iterations = 4;
    sim.m_tau = 0.5;
    sim.m_t1_threshold = 0.05;
    sim.m_t2_threshold = 0.05;
    for (loops = 0; loops < 20000; ++loops) {
      double area = 0.0, angle = 0.0;
      for (auto const& f : foam.faces()) {
        if (!f.m_is_outer) area = std::max(area, std::abs(f.m_target_area - Quarvel::kordal::compute_area(f)));
      }
      for (auto const& v : foam.vertices()) {
        for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
          if (foam.get_face(c->m_face).m_is_outer) continue;
          angle = std::max(angle, std::abs(Quarvel::kordal::junction_angle(foam.get_face(c->m_face), v) -
                                           2.0 * M_PI / 3.0));
        }
      }
      if (area < 1e-6 && angle < 1e-4) break;
      sim.simulate(sim.m_max_iterations, sim.m_tau);
    }
  }
  state.counters["loops"] = loops;
}
BENCHMARK(BM_PresetSweeps)->DenseRange(1, 3)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
