#include "foam/site_sets.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "foam/random_source.h"

namespace {

using namespace Quarvel::kordal;

TEST(RandomSites, FillTheWindowRectangle) {
  seed_random_generator(5u);
  std::vector<vector3_type> sites;
  make_random_sites(sites, 5000, 960.0, 540.0);
  ASSERT_EQ(sites.size(), 5000u);
  double min_x = 1e9, max_x = -1e9, min_y = 1e9, max_y = -1e9;
  for (auto const& s : sites) {
    EXPECT_EQ(s.z, 0.0);
    min_x = std::min(min_x, s.x);
    max_x = std::max(max_x, s.x);
    min_y = std::min(min_y, s.y);
    max_y = std::max(max_y, s.y);
  }
  EXPECT_GE(min_x, -48.0);
  EXPECT_LE(max_x, 48.0);
  EXPECT_GE(min_y, -27.0);
  EXPECT_LE(max_y, 27.0);
  // Uniform sites come close to every side.
  EXPECT_LT(min_x, -47.0);
  EXPECT_GT(max_x, 47.0);
  EXPECT_LT(min_y, -26.0);
  EXPECT_GT(max_y, 26.0);
}

TEST(RandomSites, SquareWindowGivesSquare) {
  seed_random_generator(6u);
  std::vector<vector3_type> sites;
  make_random_sites(sites, 2000, 300.0, 300.0);
  double extent = 0.0;
  for (auto const& s : sites) extent = std::max({extent, std::abs(s.x), std::abs(s.y)});
  EXPECT_LE(extent, 15.0);
  EXPECT_GT(extent, 14.5);
}

TEST(RandomSites, SuccessiveSetsDifferAndSeedsRepeat) {
  seed_random_generator(8u);
  std::vector<vector3_type> a, b, c;
  make_random_sites(a, 10, 960.0, 540.0);
  make_random_sites(b, 10, 960.0, 540.0);
  EXPECT_NE(a, b);
  seed_random_generator(8u);
  make_random_sites(c, 10, 960.0, 540.0);
  EXPECT_EQ(a, c);
}

TEST(RandomSites, ReplaceTheListAndAcceptNoCount) {
  std::vector<vector3_type> sites(3, vector3_type(1, 2, 3));
  seed_random_generator(9u);
  make_random_sites(sites, 10, 960.0, 540.0);
  EXPECT_EQ(sites.size(), 10u);
  make_random_sites(sites, 0, 960.0, 540.0);
  EXPECT_TRUE(sites.empty());
  make_random_sites(sites, -4, 960.0, 540.0);
  EXPECT_TRUE(sites.empty());
}

struct PresetFacts {
  int n;
  std::size_t size;
  double min_x, max_x, min_y, max_y;
  std::vector<std::pair<double, double>> first;
};

std::vector<PresetFacts> preset_facts() {
  return {
      {1, 220, -39.1391, 41.0824, -22.3269, 23.1569,
       {{13.871, 6.40951}, {-0.612157, 2.47542}, {7.24407, -16.0001}, {12.3425, 22.1204}, {-6.69099, 13.9878}}},
      {2, 193, -47.5224, 47.8301, -26.8484, 26.3672,
       {{45.7206, -9.12909}, {-10.285, -0.551256}, {43.7372, -3.42207}, {-6.60225, -11.283}, {1.35502, -2.0773}}},
      {3, 64, -47.1064, 42.1287, -26.9539, 26.9951,
       {{9.08377, 17.0131}, {-15.4472, -24.7472}, {38.7536, -16.2452}, {10.9881, -18.1107}, {-22.6897, 25.8645}}},
  };
}

TEST(PresetSites, SizesFirstSitesAndRanges) {
  for (auto const& facts : preset_facts()) {
    SCOPED_TRACE(facts.n);
    std::vector<vector3_type> sites;
    load_preset_sites(sites, facts.n);
    ASSERT_EQ(sites.size(), facts.size);
    for (std::size_t i = 0; i < facts.first.size(); ++i) {
      EXPECT_EQ(sites[i], vector3_type(facts.first[i].first, facts.first[i].second, 0.0)) << "site " << i;
    }
    double min_x = 1e9, max_x = -1e9, min_y = 1e9, max_y = -1e9;
    for (auto const& s : sites) {
      min_x = std::min(min_x, s.x);
      max_x = std::max(max_x, s.x);
      min_y = std::min(min_y, s.y);
      max_y = std::max(max_y, s.y);
    }
    EXPECT_EQ(min_x, facts.min_x);
    EXPECT_EQ(max_x, facts.max_x);
    EXPECT_EQ(min_y, facts.min_y);
    EXPECT_EQ(max_y, facts.max_y);
  }
}

TEST(PresetSites, SixSignificantDigitsFlatAndDistinct) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    std::vector<vector3_type> sites;
    load_preset_sites(sites, n);
    std::set<std::pair<double, double>> seen;
    for (auto const& s : sites) {
      EXPECT_EQ(s.z, 0.0);
      for (double c : {s.x, s.y}) {
        // The site print writes six significant digits; reading that back
        // gives the stored value only if it had no more.
        std::ostringstream out;
        out << c;
        EXPECT_EQ(std::stod(out.str()), c) << out.str();
      }
      EXPECT_TRUE(seen.insert({s.x, s.y}).second) << "duplicate site " << s;
    }
  }
}

TEST(PresetSites, OtherNumbersLeaveTheListEmpty) {
  for (int n : {0, 4, 5, 6, -1}) {
    std::vector<vector3_type> sites(2);
    load_preset_sites(sites, n);
    EXPECT_TRUE(sites.empty()) << n;
  }
  std::vector<vector3_type> sites(500);
  load_preset_sites(sites, 3);
  EXPECT_EQ(sites.size(), 64u) << "loading replaces the list";
}

}  // namespace
