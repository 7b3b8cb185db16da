#include "foam/random_source.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

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

TEST_F(RandomSourceTest, FirstDrawSeedsOnceFromTheClock) {
  std::vector<int> const from_clock = draws(50);
  EXPECT_EQ(g_clock_calls, 1u);

  seed_random_generator(4711u);
  EXPECT_EQ(draws(50), from_clock) << "the clock's value is the seed";
  EXPECT_EQ(g_clock_calls, 1u);
}

TEST_F(RandomSourceTest, ExplicitSeedReplacesTheClock) {
  seed_random_generator(99u);
  std::vector<int> const first = draws(20);
  EXPECT_EQ(g_clock_calls, 0u);
  seed_random_generator(99u);
  EXPECT_EQ(draws(20), first);
  seed_random_generator(100u);
  EXPECT_NE(draws(20), first);
  EXPECT_EQ(g_clock_calls, 0u);
}

TEST_F(RandomSourceTest, SuccessiveDrawsContinueTheSequence) {
  seed_random_generator(7u);
  std::vector<int> const a = draws(30);
  std::vector<int> const b = draws(30);
  EXPECT_NE(a, b);
}

TEST_F(RandomSourceTest, DrawsCoverFifteenBits) {
  seed_random_generator(1u);
  std::vector<int> const d = draws(200000);
  auto const [lo, hi] = std::minmax_element(d.begin(), d.end());
  EXPECT_GE(*lo, 0);
  EXPECT_LE(*hi, random_draw_max);
  // 200000 uniform draws reach within 1 % of both ends.
  EXPECT_LT(*lo, 330);
  EXPECT_GT(*hi, random_draw_max - 330);
}

TEST_F(RandomSourceTest, RandomVectorUsesThreeDrawsInOrder) {
  seed_random_generator(21u);
  int const r[3] = {random_draw(), random_draw(), random_draw()};
  seed_random_generator(21u);
  vector3_type const v = random_vector(-2.5, 4.0);
  EXPECT_DOUBLE_EQ(v.x, -2.5 + (r[0] / 32767.0) * 6.5);
  EXPECT_DOUBLE_EQ(v.y, -2.5 + (r[1] / 32767.0) * 6.5);
  EXPECT_DOUBLE_EQ(v.z, -2.5 + (r[2] / 32767.0) * 6.5);
}

TEST_F(RandomSourceTest, RandomVectorStaysInItsClosedRange) {
  seed_random_generator(3u);
  for (int i = 0; i < 20000; ++i) {
    vector3_type const v = random_vector(-0.0625, 0.0625);
    for (int k = 0; k < 3; ++k) {
      ASSERT_GE(v[k], -0.0625);
      ASSERT_LE(v[k], 0.0625);
    }
  }
}

}  // namespace
