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

/// Smallest x, largest x, smallest y, largest y of the sites.
std::array<double, 4> extremes(std::vector<vector3_type> const& sites) {
  std::array<double, 4> e{1e9, -1e9, 1e9, -1e9};
  for (auto const& s : sites) e = {std::min(e[0], s.x), std::max(e[1], s.x), std::min(e[2], s.y), std::max(e[3], s.y)};
  return e;
}

TEST(RandomSites, FillTheWindowRectangleFlat) {
  struct Case {
    unsigned seed;
    int count;
    double width, height;
  } const cases[] = {{5u, 5000, 960.0, 540.0}, {6u, 2000, 300.0, 300.0}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.width);
    seed_random_generator(c.seed);
    std::vector<vector3_type> sites;
    make_random_sites(sites, c.count, c.width, c.height);
    ASSERT_EQ(sites.size(), std::size_t(c.count));
    for (auto const& s : sites) EXPECT_EQ(s.z, 0.0);
    // Inside the window's [-w/20, w/20] x [-h/20, h/20], and uniform sites
    // come within 3 % of every side.
    std::array<double, 4> const e = extremes(sites), side{-c.width, c.width, -c.height, c.height};
    for (int i = 0; i < 4; ++i) {
      EXPECT_LE(e[i] / side[i], 0.05) << "side " << i;
      EXPECT_GT(e[i] / side[i], 0.97 * 0.05) << "side " << i;
    }
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

TEST(PresetSites, FixedDataWithTheListedSizesFirstSitesAndRanges) {
  struct Facts {
    int n;
    std::size_t size;
    std::array<double, 4> extremes;
    std::vector<std::pair<double, double>> first;
  } const presets[] = {
      {1,
       220,
       {-39.1391, 41.0824, -22.3269, 23.1569},
       {{13.871, 6.40951}, {-0.612157, 2.47542}, {7.24407, -16.0001}, {12.3425, 22.1204}, {-6.69099, 13.9878}}},
      {2,
       193,
       {-47.5224, 47.8301, -26.8484, 26.3672},
       {{45.7206, -9.12909}, {-10.285, -0.551256}, {43.7372, -3.42207}, {-6.60225, -11.283}, {1.35502, -2.0773}}},
      {3,
       64,
       {-47.1064, 42.1287, -26.9539, 26.9951},
       {{9.08377, 17.0131}, {-15.4472, -24.7472}, {38.7536, -16.2452}, {10.9881, -18.1107}, {-22.6897, 25.8645}}},
  };
  for (auto const& facts : presets) {
    SCOPED_TRACE(facts.n);
    std::vector<vector3_type> sites(500);
    load_preset_sites(sites, facts.n);
    ASSERT_EQ(sites.size(), facts.size) << "loading replaces the list";
    for (std::size_t i = 0; i < facts.first.size(); ++i) {
      EXPECT_EQ(sites[i], vector3_type(facts.first[i].first, facts.first[i].second, 0.0)) << "site " << i;
    }
    EXPECT_EQ(extremes(sites), facts.extremes) << "attained exactly";
    std::set<std::pair<double, double>> seen;
    for (auto const& s : sites) {
      EXPECT_EQ(s.z, 0.0);
      // The site print writes six significant digits; reading that back gives
      // the stored value only if it had no more.
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
