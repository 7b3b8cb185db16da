// The sweep behind `make soak-long`, run in the shipped build: seeded random
// foams coarsened to five bubbles or fewer, every invariant of the coarsening
// harness checked after every loop.
//
//   froth_soak_long SITES WIDTH HEIGHT FIRST_SEED COUNT
//
// WIDTH x HEIGHT is the domain in foam units, as froth-batch's --domain. One
// line per run (a foam of 5,000 sites or more also every 100 loops), then
// a total; the exit status is 1 when any run faulted.

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include "foam/coarsening_harness.h"

int main(int argc, char** argv) {
  using namespace froth_test;
  if (argc != 6) {
    std::cerr << "usage: froth_soak_long SITES WIDTH HEIGHT FIRST_SEED COUNT\n";
    return 2;
  }
  int const sites = std::atoi(argv[1]);
  double const width = std::atof(argv[2]), height = std::atof(argv[3]);
  unsigned const first = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
  unsigned const count = static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10));

  unsigned long loops = 0, t1 = 0, t2 = 0, stalls = 0, faults = 0;
  double worst = 0.0;
  for (unsigned seed = first; seed < first + count; ++seed) {
    std::vector<vector3_type> s;
    Quarvel::kordal::seed_random_generator(seed);
    Quarvel::kordal::make_random_sites(s, sites, 10.0 * width, 10.0 * height);
    FoamMesh foam = make_foam_from_sites(s);
    // Large foams take hours: they tell how far they have got as they go.
    CoarseningRun const run = coarsen_checked(foam, 100000000, sites >= 5000 ? &std::cout : nullptr);
    bool const short_of_goal = run.fault.empty() && !run.stalled && foam.face_size() > 5;
    loops += run.loops;
    t1 += run.t1;
    t2 += run.t2;
    stalls += run.stalled;
    faults += !run.fault.empty() || short_of_goal;
    worst = std::max(worst, run.worst_area_error);
    std::cout << "soak-long run: " << sites << " sites seed " << seed << ": loops " << run.loops << " T1 " << run.t1
              << " T2 " << run.t2 << " bubbles " << foam.face_size() << " worst area error "
              << 100.0 * run.worst_area_error << "%" << (run.stalled ? " stalled" : "")
              << (run.fault.empty() ? "" : " FAULT " + run.fault) << std::endl;
  }
  std::cout << "soak-long: " << count << " runs of " << sites << " sites from seed " << first << ": loops " << loops
            << " T1 " << t1 << " T2 " << t2 << " stalls " << stalls << " faults " << faults << " worst area error "
            << 100.0 * worst << "%" << std::endl;
  return faults == 0 ? 0 : 1;
}
