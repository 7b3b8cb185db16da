// The shipped build brings the acceptance foams to equilibrium, by the
// window's sweeps with its parameters and by the global solver: froth-batch
// --equilibrate must end equilibrated, and the foam it saves must hold its
// areas and 120-degree junctions by a measure of its own.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "batch_run.h"
#include "foam/foam_file.h"
#include "foam/plateau_check.h"
#include "scratch_directory.h"

namespace {

class Acceptance : public ::testing::TestWithParam<char const*> {};

TEST_P(Acceptance, EquilibratesToTheTolerances) {
  froth_test::ScratchDirectory dir;
  std::vector<std::string> args;
  std::string const foam_options = GetParam();
  std::istringstream words(foam_options + (foam_options.find("--seed") == std::string::npos ? " --seed 1" : "") +
                           " --equilibrate --csv " + dir.file("run.csv") + " --save " + dir.file("end.foam"));
  for (std::string w; words >> w;) args.push_back(w);
  Quarvel::batch::BatchOptions options;
  std::string error;
  ASSERT_EQ(Quarvel::batch::ParseResult::run, Quarvel::batch::parse_options(args, options, error)) << error;
  std::ostringstream err;
  Quarvel::batch::RunEnvironment env;
  env.m_err = &err;
  EXPECT_EQ(Quarvel::batch::exit_done, Quarvel::batch::run_batch(options, env)) << err.str();
  EXPECT_NE(err.str().find("froth-batch: equilibrated in "), std::string::npos) << err.str();
  std::cout << err.str();

  froth_test::FoamMesh foam;
  ASSERT_TRUE(Quarvel::kordal::load_foam(dir.file("end.foam"), foam, error)) << error;
  froth_test::PlateauResiduals const res = froth_test::plateau_residuals(foam);
  // Three unit tangents whose angles are each within the angle tolerance of
  // 120 degrees sum to less than twice that tolerance. The solver's 1e-10 is
  // relative to areas of at most a few hundred.
  bool const sweeps = options.m_solver == Quarvel::batch::EquilibriumSolver::junction;
  EXPECT_LT(res.m_area, sweeps ? Quarvel::batch::equilibrium_area_tolerance : 1e-7);
  EXPECT_LT(res.m_tangent, sweeps ? 2.0 * Quarvel::batch::equilibrium_angle_tolerance : 1e-9);
  std::cout << "independent check: largest area residual " << res.m_area << ", largest tangent sum " << res.m_tangent
            << "\n";
}

INSTANTIATE_TEST_SUITE_P(Foams, Acceptance,
                         ::testing::Values("--preset 1 --solver junction", "--preset 2 --solver junction",
                                           "--preset 3 --solver junction", "--sites 200 --solver junction",
                                           "--preset 1 --solver newton", "--preset 2 --solver newton",
                                           "--preset 3 --solver newton", "--sites 200 --solver newton",
                                           // Nearly a thousand bubbles of the window's size: the solver
                                           // needs swaps and sweeps on the way.
                                           "--sites 1000 --domain 214.66 120.75",
                                           // A three-sided border bubble whose film to the outside
                                           // is shorter than the T1 threshold, and cannot be swapped.
                                           "--sites 300 --domain 117.58 66.14 --seed 3",
                                           // A bad spot that held back every whole step until the
                                           // steps were shortened only where they fail.
                                           "--sites 600 --domain 166.28 93.53 --seed 59",
                                           // Three-sided border bubbles that folded over: their
                                           // corners' triangle turned over while the bulging films
                                           // kept their areas positive.
                                           "--sites 1000 --domain 214.66 120.75 --seed 24",
                                           // A spike of the outer bubble, its two films crossed at
                                           // its tip, driven deep into the foam step by step.
                                           "--sites 300 --domain 117.58 66.14 --seed 43",
                                           // Five thousand, with tangled junctions that only a swap
                                           // of a film above the T1 threshold undoes.
                                           "--sites 5000 --domain 480 270"),
                         [](auto const& info) { return "foam" + std::to_string(info.index); });

}  // namespace
