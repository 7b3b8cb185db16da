// Whole runs to the last five bubbles, each a regression run: seeds 2 and 3
// once turned bubbles inside out (seed 1, in coarsening_test, too), and the
// presets. Long, so in `make soak`.

#include "foam/coarsening_harness.h"
#include "foam/random_source.h"

namespace {

using namespace froth_test;

// A positive parameter is the seed of a generated foam, a negative one a preset.
class WholeRun : public ::testing::TestWithParam<int> {};

TEST_P(WholeRun, SurvivesToTheEnd) {
  int const p = GetParam();
  FoamMesh foam = p > 0 ? make_generated_foam(unsigned(p), 200) : make_preset_foam(-p);
  if (p < 0) Quarvel::kordal::seed_random_generator(unsigned(-p));
  CoarseningRun const run = coarsen_checked(foam, 20000);
  EXPECT_EQ(run.fault, "");
  EXPECT_LE(foam.face_size(), 5u) << "after " << run.loops << " loops";
}
INSTANTIATE_TEST_SUITE_P(Coarsening, WholeRun, ::testing::Values(2, 3, -1, -2, -3));

}  // namespace
