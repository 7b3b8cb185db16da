#include "foam/random_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using namespace Quarvel::kordal;

unsigned g_clock_calls = 0;
unsigned counting_clock() {
  ++g_clock_calls;
  return 4711u;
}

// Every test starts as a run starts: not seeded, on the counting clock.
class RandomSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_clock_calls = 0;
    set_seed_clock(&counting_clock);
    forget_random_seed();
  }
  void TearDown() override {
    set_seed_clock(nullptr);
    forget_random_seed();
  }
};

std::vector<int> draws(int n) {
  std::vector<int> out;
  for (int i = 0; i < n; ++i) out.push_back(random_draw());
  return out;
}

TEST_F(RandomSourceTest, ClockSeedsOnceUnlessAnExplicitSeedCameFirst) {
  std::vector<int> const from_clock = draws(50);
  EXPECT_EQ(g_clock_calls, 1u);
  seed_random_generator(4711u);
  EXPECT_EQ(draws(50), from_clock) << "the clock's value is the seed";
  EXPECT_EQ(g_clock_calls, 1u);

  forget_random_seed();
  g_clock_calls = 0;
  seed_random_generator(99u);
  std::vector<int> const first = draws(20);
  EXPECT_NE(draws(20), first) << "successive draws continue the sequence";
  seed_random_generator(99u);
  EXPECT_EQ(draws(20), first);
  seed_random_generator(100u);
  EXPECT_NE(draws(20), first);
  EXPECT_EQ(g_clock_calls, 0u);
}

TEST_F(RandomSourceTest, DrawsAndVectorsFillTheirClosedRanges) {
  // Over [0, random_draw_max] a vector is its three draws, in order.
  seed_random_generator(21u);
  std::vector<int> const r = draws(3);
  seed_random_generator(21u);
  vector3_type const v = random_vector(0.0, random_draw_max);
  EXPECT_DOUBLE_EQ(v.x, r[0]);
  EXPECT_DOUBLE_EQ(v.y, r[1]);
  EXPECT_DOUBLE_EQ(v.z, r[2]);

  // 200000 uniform draws, and each coordinate of 20000 vectors, reach within
  // 1 % of both ends.
  seed_random_generator(1u);
  std::vector<int> const d = draws(200000);
  auto const [lo, hi] = std::minmax_element(d.begin(), d.end());
  EXPECT_GE(*lo, 0);
  EXPECT_LT(*lo, 330);
  EXPECT_LE(*hi, random_draw_max);
  EXPECT_GT(*hi, random_draw_max - 330);
  double least[3] = {1, 1, 1}, most[3] = {-1, -1, -1};
  for (int i = 0; i < 20000; ++i) {
    vector3_type const w = random_vector(-0.0625, 0.0625);
    for (int k = 0; k < 3; ++k) {
      least[k] = std::min(least[k], w[k]);
      most[k] = std::max(most[k], w[k]);
    }
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_GE(least[k], -0.0625) << "component " << k;
    EXPECT_LT(least[k], -0.0615) << "component " << k;
    EXPECT_LE(most[k], 0.0625) << "component " << k;
    EXPECT_GT(most[k], 0.0615) << "component " << k;
  }
}

}  // namespace
