// The long sweep behind `make soak`: many seeds coarsened to the end under the
// full checks of the coarsening harness after every loop.

#include <iostream>
#include <string>

#include "foam/coarsening_harness.h"

namespace {

using namespace froth_test;

struct Batch {
  unsigned first_seed;
  unsigned seeds;
  int sites;
};

class Soak : public ::testing::TestWithParam<Batch> {};

TEST_P(Soak, EveryRunSurvives) {
  Batch const b = GetParam();
  unsigned long loops = 0, t1 = 0, t2 = 0;
  std::string stalled;
  for (unsigned seed = b.first_seed; seed < b.first_seed + b.seeds; ++seed) {
    FoamMesh foam = make_generated_foam(seed, b.sites);
    CoarseningRun const run = coarsen_checked(foam, 200000);
    EXPECT_EQ(run.fault, "") << b.sites << " sites, seed " << seed;
    // A run whose last bubbles stop vanishing is still sound; it is reported,
    // as seed:bubbles left, rather than failed.
    if (run.stalled) {
      stalled += " " + std::to_string(seed) + ":" + std::to_string(foam.face_size());
    } else {
      EXPECT_LE(foam.face_size(), 5u) << b.sites << " sites, seed " << seed;
    }
    loops += run.loops;
    t1 += run.t1;
    t2 += run.t2;
  }
  std::cout << "soak: " << b.seeds << " runs of " << b.sites << " sites from seed " << b.first_seed << ": loops " << loops
            << " T1 " << t1 << " T2 " << t2 << " stalled" << (stalled.empty() ? " none" : stalled) << std::endl;
}

std::vector<Batch> batches() {
  std::vector<Batch> all;
  for (unsigned first = 100; first < 200; first += 10) all.push_back({first, 10, 200});
  for (unsigned seed = 1000; seed < 1005; ++seed) all.push_back({seed, 1, 2000});
  // Seeds whose mean area error passed 2% in the long sweep: a bubble at the
  // border whose film to the outer bubble is nearly a half circle, where its
  // junctions' Jacobians never settled and every visit gave up.
  for (unsigned seed : {24u, 262u, 421u, 467u}) all.push_back({seed, 1, 200});
  return all;
}

INSTANTIATE_TEST_SUITE_P(Seeds, Soak, ::testing::ValuesIn(batches()),
                         [](auto const& info) {
                           return std::to_string(info.param.sites) + "sites_from" +
                                  std::to_string(info.param.first_seed);
                         });

}  // namespace
