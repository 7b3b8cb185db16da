// The random source and the site sets drawn from it or read from the presets.

#include "foam/site_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <utility>

#include "foam/random_source.h"

namespace {

using namespace Quarvel::kordal;

unsigned g_clock_calls = 0;
unsigned counting_clock() {
  ++g_clock_calls;
  return 4711u;
}

std::vector<int> draws(int n) {
  std::vector<int> out;
  for (int i = 0; i < n; ++i) out.push_back(random_draw());
  return out;
}

// As a run starts: not seeded, on the counting clock. The clock seeds once,
// unless an explicit seed came first; seeds repeat their sequences, and every
// call of make_random_sites replaces the list.
TEST(RandomSource, ClockSeedsOnceUnlessAnExplicitSeedCameFirstAndDrawsFillTheirClosedRanges) {
  g_clock_calls = 0;
  set_seed_clock(&counting_clock);
  forget_random_seed();
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
  std::vector<vector3_type> a(3, vector3_type(1, 2, 3)), b;
  seed_random_generator(8u);
  make_random_sites(a, 10, 960.0, 540.0);
  EXPECT_EQ(a.size(), 10u);
  seed_random_generator(8u);
  make_random_sites(b, 10, 960.0, 540.0);
  EXPECT_EQ(a, b);
  make_random_sites(b, -4, 960.0, 540.0);
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(g_clock_calls, 0u);
  set_seed_clock(nullptr);
  forget_random_seed();

  // Over [0, random_draw_max] a vector is its three draws, in order. 200000
  // draws, and each coordinate of 20000 vectors, reach within 1 % of both
  // ends. (Random sites fill the window's [-w/20, w/20] x [-h/20, h/20]: the
  // application's and froth-batch's --domain tests.)
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

// The site print writes six significant digits; reading that back gives the
// stored value only if it had no more. Other numbers give no sites.
TEST(PresetSites, ReplaceTheListWithDistinctFlatSitesOfSixDigits) {
  for (int n : {1, 2, 3, 0, 4, -1}) {
    std::vector<vector3_type> sites(500);
    load_preset_sites(sites, n);
    EXPECT_EQ(sites.size(), (std::vector<std::size_t>{0, 220, 193, 64, 0}[std::max(0, std::min(n, 4))]));
    std::set<std::pair<double, double>> seen;
    for (auto const& s : sites) {
      EXPECT_EQ(s.z, 0.0);
      for (double c : {s.x, s.y}) {
        std::ostringstream out;
        out << c;
        EXPECT_EQ(std::stod(out.str()), c) << out.str();
      }
      EXPECT_TRUE(seen.insert({s.x, s.y}).second) << "duplicate site " << s;
    }
  }
}

}  // namespace
