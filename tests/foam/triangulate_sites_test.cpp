#include "foam/triangulate_sites.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "foam/dual_foam.h"
#include "foam_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;

TEST(TriangulateSites, RandomSitesGiveADelaunayTriangulationOfTheirHull) {
  std::vector<vector3_type> const sites = froth_test::make_seeded_sites(31u, 200);
  FoamMesh mesh;
  triangulate_sites(sites, mesh);
  ASSERT_TRUE(MeshIsValid(mesh));
  // The sites come first, in order; the conforming switch adds points on the
  // hull so that every circumcentre lies inside the triangulation.
  ASSERT_GE(mesh.vertex_size(), sites.size());
  std::vector<vector3_type> points;
  for (auto const& v : mesh.vertices()) {
    bool const site = points.size() < sites.size();
    EXPECT_TRUE((site ? v.m_coord == sites[points.size()] : is_boundary(v)) && !v.m_outgoing_halfedge.is_null())
        << "sites in order, then hull points; every point a corner";
    points.push_back(v.m_coord);
  }
  std::vector<vector3_type> inside = points;
  for (auto const& f : mesh.faces()) {
    ASSERT_EQ(film_count(f), 3u);
    EXPECT_LT(froth_test::polygon_area(mesh, f), 0.0) << "counter-clockwise";
    // No point lies strictly inside the circumcircle.
    vector3_type const u = voronoi_vertex_policy(f);
    double const r = length(mesh.get_vertex(mesh.origin(f.m_border_halfedge)).m_coord - u);
    for (auto const& p : points) EXPECT_GE(length(p - u), r * (1.0 - 1e-9));
    inside.push_back(u);
  }
  // The border is convex and holds every point and every circumcentre: all
  // lie on the inner side (the right) of every border half-edge.
  std::size_t border = 0;
  for (auto const& h : mesh.halfedges()) {
    if (!h.m_face.is_null()) continue;
    ++border;
    auto const& a = mesh.get_vertex(mesh.origin(h.m_self)).m_coord;
    auto const& b = mesh.get_vertex(h.m_destination).m_coord;
    for (auto const& p : inside) EXPECT_LE(cross(b - a, p - a).z, 1e-9 * length(b - a));
  }
  EXPECT_EQ(mesh.face_size(), 2 * mesh.vertex_size() - border - 2) << "a disc, without holes";
}

// The triangulator exits on fewer than three points and crashes on collinear
// ones; these sets come back as an empty mesh instead. Duplicates stay
// isolated junctions. The mesh is filled beforehand: it is always replaced.
TEST(TriangulateSites, SmallDegenerateAndDuplicateSets) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::vector<vector3_type> sites;
    std::size_t vertices, faces, isolated;
  } const cases[] = {
      {{{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}}, 4, 2, 0},
      {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}}, 5, 1, 2},
      {{}, 0, 0, 0},
      {{{1, 2, 0}}, 0, 0, 0},
      {{{1, 2, 0}, {3, 4, 0}}, 0, 0, 0},
      {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 1, 0}}, 0, 0, 0},
      {{{5, 5, 0}, {5, 5, 0}, {5, 5, 0}}, 0, 0, 0},
      {{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}}, 0, 0, 0},
      {{{0, 1, 0}, {0, 2, 0}, {0, 3, 0}}, 0, 0, 0},
      {{{-2, 7, 0}, {-1, 7, 0}, {4, 7, 0}, {-1, 7, 0}}, 0, 0, 0},
      {{{0.5, 0.25, 0}, {1e6 + 0.5, 2e6 + 0.25, 0}, {-3e6 + 0.5, -6e6 + 0.25, 0}, {0.5, 0.25, 0}}, 0, 0, 0},
      {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, 0, 0}}, 0, 0, 0},
      {{{0, 0, 0}, {1, 0, 0}, {0, inf, 0}}, 0, 0, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(&c - cases);
    FoamMesh mesh;
    froth_test::make_two_triangles(mesh);
    EXPECT_EQ(sites_span_plane(c.sites), c.faces > 0);
    triangulate_sites(c.sites, mesh);
    EXPECT_TRUE(MeshIsValid(mesh));
    std::size_t isolated = 0;
    for (auto const& v : mesh.vertices()) isolated += v.m_outgoing_halfedge.is_null();
    EXPECT_EQ(std::make_tuple(mesh.vertex_size(), mesh.face_size(), isolated),
              std::make_tuple(c.vertices, c.faces, c.isolated));
    for (auto const& f : mesh.faces()) EXPECT_LT(froth_test::polygon_area(mesh, f), 0.0) << "counter-clockwise";
  }
}

// The line test is exact: rounding would call this thin triangle a line (its
// determinant is 2^-53 - 2^-105, which rounds away). A needle-thin hull corner
// makes the triangulator add hull points without end; the cap stops it.
TEST(TriangulateSites, ThinTrianglesAreExactAndBounded) {
  double const up = 1.0 + std::ldexp(1.0, -52);
  double const down = 1.0 - std::ldexp(1.0, -53);
  ASSERT_EQ(up * down - 1.0 * 1.0, 0.0) << "the rounded determinant vanishes";
  double const big = 1e15;
  EXPECT_TRUE(sites_span_plane({{0, 0, 0}, {big, big, 0}, {2 * big, std::nextafter(2 * big, 3 * big), 0}}));
  EXPECT_FALSE(sites_span_plane({{0, 0, 0}, {big, big, 0}, {2 * big, 2 * big, 0}}));
  std::vector<std::vector<vector3_type>> thin{{{0, 0, 0}, {up, 1, 0}, {1, down, 0}}};
  for (double e : {1e-2, 1e-4, 1e-9}) thin.push_back({{0, 0, 0}, {1 + e, 1, 0}, {1, 1 - e, 0}});
  for (auto const& sites : thin) {
    SCOPED_TRACE(sites[1].x);
    EXPECT_TRUE(sites_span_plane(sites));
    FoamMesh mesh;
    triangulate_sites(sites, mesh);
    EXPECT_TRUE(MeshIsValid(mesh));
    EXPECT_GE(mesh.face_size(), 1u) << "triangulated, not refused";
    EXPECT_LE(mesh.vertex_size(), 3u + 2u * 3u + 1000u);
  }
}

}  // namespace
