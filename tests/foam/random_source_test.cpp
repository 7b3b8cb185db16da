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

// Over [0, random_draw_max] a vector is its three draws, in order. 200000
// draws, and each coordinate of 20000 vectors, reach within 1 % of both ends.
TEST_F(RandomSourceTest, DrawsAndVectorsFillTheirClosedRanges) {
  seed_random_generator(21u);
  std::vector<int> const r = draws(3);
  seed_random_generator(21u);
  EXPECT_EQ(random_vector(0.0, random_draw_max), vector3_type(r[0], r[1], r[2]));
  seed_random_generator(1u);
  std::vector<int> const d = draws(200000);
  auto const [lo, hi] = std::minmax_element(d.begin(), d.end());
  EXPECT_TRUE(*lo >= 0 && *lo < 330 && *hi <= random_draw_max && *hi > random_draw_max - 330) << *lo << " " << *hi;
  double least[3] = {1, 1, 1}, most[3] = {-1, -1, -1};
  for (int i = 0; i < 20000; ++i) {
    vector3_type const w = random_vector(-0.0625, 0.0625);
    for (int k = 0; k < 3; ++k) least[k] = std::min(least[k], w[k]), most[k] = std::max(most[k], w[k]);
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(least[k] >= -0.0625 && least[k] < -0.0615 && most[k] <= 0.0625 && most[k] > 0.0615) << k;
  }
}

}  // namespace
