#include "foam/site_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <sstream>
#include <utility>

#include "foam/random_source.h"

namespace {

using namespace Quarvel::kordal;

// Inside the window's [-w/20, w/20] x [-h/20, h/20], and uniform sites come
// within 3 % of every side.
TEST(RandomSites, FillTheWindowRectangleFlat) {
  struct Case {
    unsigned seed;
    int count;
    double width, height;
  } const cases[] = {{5u, 5000, 960.0, 540.0}, {6u, 2000, 300.0, 300.0}};
  for (auto const& c : cases) {
    seed_random_generator(c.seed);
    std::vector<vector3_type> sites;
    make_random_sites(sites, c.count, c.width, c.height);
    ASSERT_EQ(sites.size(), std::size_t(c.count));
    std::array<double, 4> e{1e9, -1e9, 1e9, -1e9};
    for (auto const& s : sites) {
      EXPECT_EQ(s.z, 0.0);
      e = {std::min(e[0], s.x), std::max(e[1], s.x), std::min(e[2], s.y), std::max(e[3], s.y)};
    }
    std::array<double, 4> const side{-c.width, c.width, -c.height, c.height};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(e[i] / side[i] <= 0.05 && e[i] / side[i] > 0.97 * 0.05) << c.width << i;
  }
}

TEST(RandomSites, SeedsRepeatAndEveryCallReplacesTheList) {
  std::vector<vector3_type> a(3, vector3_type(1, 2, 3)), b, c;
  seed_random_generator(8u);
  make_random_sites(a, 10, 960.0, 540.0);
  make_random_sites(b, 10, 960.0, 540.0);
  EXPECT_EQ(a.size(), 10u);
  EXPECT_NE(a, b);
  seed_random_generator(8u);
  make_random_sites(c, 10, 960.0, 540.0);
  EXPECT_EQ(a, c);
  for (int count : {0, -4}) {
    make_random_sites(c, count, 960.0, 540.0);
    EXPECT_TRUE(c.empty()) << count;
  }
}

// The site print writes six significant digits; reading that back gives the
// stored value only if it had no more. Other numbers give no sites.
TEST(PresetSites, ReplaceTheListWithDistinctFlatSitesOfSixDigits) {
  for (int n : {1, 2, 3}) {
    std::vector<vector3_type> sites(500);
    load_preset_sites(sites, n);
    EXPECT_EQ(sites.size(), (std::vector<std::size_t>{220, 193, 64}[n - 1]));
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
  for (int n : {0, 4, -1}) {
    std::vector<vector3_type> sites(2);
    load_preset_sites(sites, n);
    EXPECT_TRUE(sites.empty()) << n;
  }
}

}  // namespace
