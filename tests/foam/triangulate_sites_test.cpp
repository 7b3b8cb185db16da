#include "foam/triangulate_sites.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "foam/random_source.h"
#include "foam/site_sets.h"
#include "foam_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;

// Signed area of a face loop, positive for a counter-clockwise loop.
double ccw_area(FoamMesh const& mesh, FoamMesh::face_type const& f) { return -froth_test::polygon_area(mesh, f); }

std::vector<vector3_type> corners(FoamMesh const& mesh, FoamMesh::face_type const& f) {
  std::vector<vector3_type> out;
  for (FoamMesh::const_face_halfedge_circulator c(mesh, f.m_self); c; ++c) {
    out.push_back(mesh.get_vertex(mesh.origin(c.handle())).m_coord);
  }
  return out;
}

// Area of the convex hull (monotone chain).
double hull_area(std::vector<vector3_type> p) {
  std::sort(p.begin(), p.end(), [](auto const& a, auto const& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  auto turn = [](auto const& o, auto const& a, auto const& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<vector3_type> h(2 * p.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && turn(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
    while (k >= t && turn(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  double a = 0.0;
  for (std::size_t i = 0; i + 1 < k; ++i) a += h[i].x * h[i + 1].y - h[i + 1].x * h[i].y;
  return 0.5 * a;
}

TEST(TriangulateSites, RectangleGivesTwoCounterClockwiseTriangles) {
  FoamMesh mesh;
  triangulate_sites({{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}}, mesh);
  EXPECT_TRUE(MeshIsValid(mesh));
  EXPECT_EQ(mesh.vertex_size(), 4u);
  ASSERT_EQ(mesh.face_size(), 2u);
  for (auto const& f : mesh.faces()) {
    EXPECT_EQ(film_count(f), 3u);
    EXPECT_DOUBLE_EQ(ccw_area(mesh, f), 6.0);
  }
}

TEST(TriangulateSites, RandomSitesGiveADelaunayCoverOfTheHull) {
  seed_random_generator(31u);
  std::vector<vector3_type> sites;
  make_random_sites(sites, 200, 960.0, 540.0);
  FoamMesh mesh;
  triangulate_sites(sites, mesh);
  ASSERT_TRUE(MeshIsValid(mesh));
  // The sites come first, in order; the conforming switch adds points on the
  // hull so that every circumcentre lies inside the triangulation.
  ASSERT_GE(mesh.vertex_size(), sites.size());
  std::vector<vector3_type> points;
  for (auto const& v : mesh.vertices()) {
    if (points.size() < sites.size()) {
      EXPECT_EQ(v.m_coord, sites[points.size()]) << "junctions in site order";
    } else {
      EXPECT_TRUE(is_boundary(v)) << "an added point lies on the hull";
    }
    points.push_back(v.m_coord);
  }

  double covered = 0.0;
  for (auto const& f : mesh.faces()) {
    auto const c = corners(mesh, f);
    ASSERT_EQ(c.size(), 3u);
    double const a = ccw_area(mesh, f);
    EXPECT_GT(a, 0.0) << "counter-clockwise";
    covered += a;
    // No site lies strictly inside the circumcircle.
    double const d = 2.0 * (c[0].x * (c[1].y - c[2].y) + c[1].x * (c[2].y - c[0].y) + c[2].x * (c[0].y - c[1].y));
    auto const sq = [](vector3_type const& p) { return p.x * p.x + p.y * p.y; };
    double const ux = (sq(c[0]) * (c[1].y - c[2].y) + sq(c[1]) * (c[2].y - c[0].y) + sq(c[2]) * (c[0].y - c[1].y)) / d;
    double const uy = (sq(c[0]) * (c[2].x - c[1].x) + sq(c[1]) * (c[0].x - c[2].x) + sq(c[2]) * (c[1].x - c[0].x)) / d;
    double const r = std::hypot(c[0].x - ux, c[0].y - uy);
    for (auto const& s : points) EXPECT_GE(std::hypot(s.x - ux, s.y - uy), r * (1.0 - 1e-9));
    // ... and the circumcentre lies inside the hull (inside or on a triangle).
    EXPECT_LE(hull_area(sites), hull_area([&] {
                auto with = sites;
                with.push_back(vector3_type(ux, uy, 0));
                return with;
              }()) * (1.0 + 1e-12));
  }
  EXPECT_NEAR(covered, hull_area(sites), 1e-9 * hull_area(sites));
  // Every site is a corner of some triangle.
  for (auto const& v : mesh.vertices()) EXPECT_FALSE(v.m_outgoing_halfedge.is_null());
}

TEST(TriangulateSites, EmptyListLeavesTheMeshEmpty) {
  FoamMesh mesh;
  froth_test::make_two_triangles(mesh);
  triangulate_sites({}, mesh);
  EXPECT_EQ(mesh.vertex_size(), 0u);
  EXPECT_EQ(mesh.face_size(), 0u);
  EXPECT_EQ(mesh.add_vertex(vector3_type()).get_idx(), 0u) << "the mesh was cleared";
}

// The triangulator exits on fewer than three points and crashes on collinear
// ones; these sets must come back as an empty mesh instead.
TEST(TriangulateSites, DegenerateSetsGiveAnEmptyMesh) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  std::vector<std::vector<vector3_type>> const degenerate{
      {{1, 2, 0}},
      {{1, 2, 0}, {3, 4, 0}},
      {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 1, 0}},
      {{5, 5, 0}, {5, 5, 0}, {5, 5, 0}},
      {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}},
      {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}},
      {{-2, 7, 0}, {-1, 7, 0}, {4, 7, 0}, {-1, 7, 0}},
      {{0.5, 0.25, 0}, {1e6 + 0.5, 2e6 + 0.25, 0}, {-3e6 + 0.5, -6e6 + 0.25, 0}, {0.5, 0.25, 0}},
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, 0, 0}},
      {{0, 0, 0}, {1, 0, 0}, {0, inf, 0}},
  };
  for (auto const& sites : degenerate) {
    FoamMesh mesh;
    froth_test::make_two_triangles(mesh);
    EXPECT_FALSE(sites_span_plane(sites));
    triangulate_sites(sites, mesh);
    EXPECT_EQ(mesh.vertex_size(), 0u);
    EXPECT_EQ(mesh.face_size(), 0u);
  }
}

TEST(TriangulateSites, DuplicatesBecomeIsolatedJunctions) {
  FoamMesh mesh;
  std::vector<vector3_type> const sites{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}};
  EXPECT_TRUE(sites_span_plane(sites));
  triangulate_sites(sites, mesh);
  EXPECT_TRUE(MeshIsValid(mesh));
  EXPECT_EQ(mesh.vertex_size(), 5u);
  EXPECT_EQ(mesh.face_size(), 1u);
  std::size_t isolated = 0;
  for (auto const& v : mesh.vertices()) isolated += v.m_outgoing_halfedge.is_null() ? 1 : 0;
  EXPECT_EQ(isolated, 2u);
}

// The line test must be exact: rounding would call this thin triangle a
// line (its determinant is 2^-53 - 2^-105, which rounds away).
TEST(TriangulateSites, LineTestIsExact) {
  double const up = 1.0 + std::ldexp(1.0, -52);
  double const down = 1.0 - std::ldexp(1.0, -53);
  std::vector<vector3_type> const thin{{0, 0, 0}, {up, 1, 0}, {1, down, 0}};
  ASSERT_EQ(up * down - 1.0 * 1.0, 0.0) << "the rounded determinant vanishes";
  EXPECT_TRUE(sites_span_plane(thin));
  FoamMesh mesh;
  triangulate_sites(thin, mesh);
  EXPECT_TRUE(MeshIsValid(mesh));
  EXPECT_GE(mesh.face_size(), 1u) << "triangulated, not refused";

  // Off the line by one unit in the last place of a large coordinate.
  double const big = 1e15;
  std::vector<vector3_type> const off{{0, 0, 0}, {big, big, 0}, {2 * big, std::nextafter(2 * big, 3 * big), 0}};
  EXPECT_TRUE(sites_span_plane(off));
  std::vector<vector3_type> const on{{0, 0, 0}, {big, big, 0}, {2 * big, 2 * big, 0}};
  EXPECT_FALSE(sites_span_plane(on));
}

// A needle-thin hull corner makes the triangulator add hull points without
// end; the cap stops it with a valid triangulation.
TEST(TriangulateSites, NeedleHullStaysBounded) {
  for (double e : {1e-2, 1e-4, 1e-9}) {
    FoamMesh mesh;
    triangulate_sites({{0, 0, 0}, {1 + e, 1, 0}, {1, 1 - e, 0}}, mesh);
    EXPECT_TRUE(MeshIsValid(mesh));
    EXPECT_GE(mesh.face_size(), 1u);
    EXPECT_LE(mesh.vertex_size(), 3u + 2u * 3u + 1000u);
  }
}

}  // namespace
