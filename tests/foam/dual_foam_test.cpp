#include "foam/dual_foam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

#include "foam/junction_equilibration.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"
#include "foam/triangulate_sites.h"
#include "foam_builders.h"
#include "test_helpers.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::mesh_records;
using froth_test::MeshIsValid;
using froth_test::message_of;
using froth_test::polygon_area;
using vertex_handle = FoamMesh::vertex_handle;
using face_handle = FoamMesh::face_handle;
using corner_list = std::vector<std::pair<double, double>>;

std::vector<vertex_handle> loop_of(FoamMesh const& foam, FoamMesh::face_type const& f) {
  std::vector<vertex_handle> out;
  for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) out.push_back(foam.origin(c.handle()));
  return out;
}

void expect_circumcentre(FoamMesh const& mesh, FoamMesh::face_type const& t, vector3_type const& c) {
  EXPECT_EQ(c.z, 0.0);
  std::vector<double> r;
  for (auto const v : loop_of(mesh, t)) r.push_back(length(mesh.get_vertex(v).m_coord - c));
  ASSERT_EQ(r.size(), 3u);
  EXPECT_NEAR(r[0], r[1], 1e-9 * r[0]);
  EXPECT_NEAR(r[0], r[2], 1e-9 * r[0]);
}

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
TEST(TriangulateSites, SmallDegenerateDuplicateAndThinSets) {
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

  // The line test is exact: rounding would call this thin triangle a line (its
  // determinant is 2^-53 - 2^-105, which rounds away). A needle-thin hull
  // corner makes the triangulator add hull points without end; the cap stops it.
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

// Corners v0, v1, v2 give the loop v2 -> v0 -> v1: the second, the first and
// the third side flat in turn, a slanted triangle, random ones. A side a
// rounding error away from horizontal, as sites computed with cos and sin
// have: bisector slopes of 1e16 would put that centre at y = 0.
TEST(VoronoiVertexPolicy, GivesTheCircumcentreOfATriangleAndRefusesOtherFaces) {
  std::vector<corner_list> triangles{{{0, 0}, {2, 0}, {0, 2}},
                                     {{0, 0}, {1, 3}, {2, 0}},
                                     {{1, 5}, {0, 0}, {3, 0}},
                                     {{0.3, -1.2}, {4.1, 0.7}, {-2.2, 3.9}}};
  seed_random_generator(41u);
  while (triangles.size() < 300) {
    vector3_type const p = random_vector(-30, 30), q = random_vector(-30, 30), r = random_vector(-30, 30);
    if (std::abs(cross(q - p, r - p).z) >= 1.0) triangles.push_back({{p.x, p.y}, {q.x, q.y}, {r.x, r.y}});
  }
  FoamMesh mesh;
  auto face = [&](corner_list const& xy) -> auto const& {
    return mesh.get_face(mesh.add_face(froth_test::add_points(mesh, xy)));
  };
  for (auto const& xy : triangles) {
    auto const& t = face(xy);
    expect_circumcentre(mesh, t, voronoi_vertex_policy(t));
  }
  vector3_type const c = voronoi_vertex_policy(face({{0, 0}, {-0.5, std::sqrt(0.75)}, {-1, 1.2246467991473532e-16}}));
  EXPECT_NEAR(c.x, -0.5, 1e-15);
  EXPECT_NEAR(c.y, std::sqrt(1.0 / 12.0), 1e-15);
  auto const& quad = face({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(message_of<std::logic_error>([&] { voronoi_vertex_policy(quad); }),
            "voronoi_vertex_policy: only triangular faces are allowed");
  for (corner_list const& xy : {corner_list{{0, 5}, {1, 5}, {3, 5}}, corner_list{{0, 0}, {1, 2}, {3, 6}}}) {
    auto const& flat = face(xy);
    EXPECT_EQ(message_of<std::logic_error>([&] { voronoi_vertex_policy(flat); }),
              "circumcentre(): No common intersection point exist, giving up!");
  }
}

// Each junction is the circumcentre of its triangle, in face order; the same
// mesh as both source and dual is refused before anything changes.
TEST(ComputeDual, HexagonFanGivesOneClockwiseBubbleAndTheSameMeshIsRefused) {
  FoamMesh triangles, dual;
  auto const v = froth_test::make_hexagon_points(triangles);
  for (int i = 0; i < 6; ++i) triangles.add_face(froth_test::hexagon_triangle(v, i));
  compute_dual(triangles, dual);
  EXPECT_TRUE(MeshIsValid(dual));
  ASSERT_EQ(std::make_tuple(dual.vertex_size(), dual.face_size()), std::make_tuple(6u, 1u));
  EXPECT_EQ(film_count(dual.faces().front()), 6u);
  EXPECT_GT(polygon_area(dual, dual.faces().front()), 0.0) << "clockwise";
  auto face = triangles.faces().begin();
  for (auto const& j : dual.vertices()) expect_circumcentre(triangles, *face++, j.m_coord);
  EXPECT_EQ(message_of<std::invalid_argument>([&] { compute_dual(triangles, triangles); }),
            "kordal::compute_dual(): original and dual meshes must not be the same");
  EXPECT_TRUE(MeshIsValid(triangles));
  EXPECT_EQ(std::make_tuple(triangles.vertex_size(), triangles.face_size()), std::make_tuple(7u, 6u));
}

// The mesh is replaced even when the foam is empty: four sites, none inside
// the hull; a square with its centre (the one bubble has only two-film
// corners, so the repair removes it); no sites; too few distinct sites. (More
// degenerate sets: above and batch_run_test.) Three inner sites
// around the origin inside a ring of nine: each inner bubble keeps the centre
// junction and the two three-film junctions at the ends of its shared films.
TEST(GenerateFoam, BorderBubblesAreRebuiltFromTheirThreeFilmJunctionsOrDropped) {
  std::vector<std::vector<vector3_type>> const empty{{{-1, -2, 0}, {5, 1, 0}, {2, 6, 0}, {-3, 4, 0}},
                                                     {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 0}},
                                                     {},
                                                     {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {2, 2, 0}, {2, 2, 0}}};
  for (auto const& sites : empty) {
    FoamMesh foam;
    froth_test::make_two_triangles(foam);
    generate_foam(foam, sites, 1.0, 0.25);
    EXPECT_EQ(foam.vertex_size() + foam.face_size(), 0u) << &sites - empty.data();
  }
  std::vector<vector3_type> sites{{0, 1, 0}, {-std::sqrt(0.75), -0.5, 0}, {std::sqrt(0.75), -0.5, 0}};
  for (int i = 0; i < 9; ++i)
    sites.emplace_back(4 * std::cos(0.1 + i * 2 * M_PI / 9), 4 * std::sin(0.1 + i * 2 * M_PI / 9), 0.0);
  FoamMesh foam = froth_test::make_foam_from_sites(sites, false);
  EXPECT_TRUE(MeshIsValid(foam));
  ASSERT_EQ(std::make_tuple(foam.face_size(), foam.vertex_size()), std::make_tuple(3u, 4u));
  for (auto const& f : foam.faces()) EXPECT_TRUE(film_count(f) == 3 && polygon_area(foam, f) > 0.0);
  std::size_t at_origin = 0;
  for (auto const& v : foam.vertices()) {
    EXPECT_EQ(valency(v), 3u);
    at_origin += length(v.m_coord) < 1e-12;
  }
  EXPECT_EQ(at_origin, 1u);
}

// Generated foams are closed in the generation test below.
TEST(CloseOpenBoundary, ClosesOnlyTheFirstLoop) {
  FoamMesh mesh;
  mesh.add_face(froth_test::add_points(mesh, {{0, 0}, {0, 1}, {1, 0}}));
  mesh.add_face(froth_test::add_points(mesh, {{5, 0}, {5, 1}, {6, 0}}));
  close_open_boundary(mesh, 2.0);
  EXPECT_TRUE(MeshIsValid(mesh));
  ASSERT_EQ(mesh.face_size(), 3u);
  EXPECT_TRUE(mesh.faces().back().m_is_outer);
  EXPECT_EQ(mesh.faces().back().m_pressure, 2.0);
  EXPECT_EQ(
      std::count_if(mesh.halfedges().begin(), mesh.halfedges().end(), [](auto const& h) { return h.m_face.is_null(); }),
      3);
}

// The foam of the sites with the border repair exactly as first stated: the
// kernel-built dual, and after every repair the scan starts again at the first
// junction. Returns the number of bubbles rebuilt.
int generate_by_restarted_scan(FoamMesh& foam, std::vector<vector3_type> const& sites) {
  FoamMesh triangles;
  triangulate_sites(sites, triangles);
  compute_dual(triangles, foam);
  int rebuilt = 0;
  for (;;) {
    auto const two = std::find_if(foam.vertices().begin(), foam.vertices().end(),
                                  [](FoamMesh::vertex_type const& u) { return valency(u) == 2; });
    if (two == foam.vertices().end()) break;
    auto const out = two->m_outgoing_halfedge;
    face_handle f = foam.get_halfedge(out).m_face;
    if (f.is_null()) f = foam.get_halfedge(foam.twin(out)).m_face;
    std::vector<vertex_handle> kept;
    for (auto const u : loop_of(foam, foam.get_face(f))) {
      if (valency(foam.get_vertex(u)) == 3) kept.push_back(u);
    }
    foam.remove_face(f);
    if (kept.size() > 2 && !foam.add_face(kept).is_null()) ++rebuilt;
  }
  std::vector<vertex_handle> odd;
  for (auto const& u : foam.vertices()) {
    if (valency(u) != 3) odd.push_back(u.m_self);
  }
  for (auto const u : odd) foam.remove_vertex(u);
  return rebuilt;
}

// generate_foam builds the dual on index arrays and repairs the border with a
// heap; both must give exactly the records of the restarted scan, on the
// presets, random sites and sites with duplicates (isolated triangle corners).
// The fallback, the mesh kernel's own path, gives the same records too.
// It sets the film tension, the outside pressure 1, target areas and
// pressures (scale / area). Closed (the outer bubble last, from the films of
// the open border, which ran counter-clockwise), the foam is a trivalent
// network: each junction the circumcentre of its triangle (ComputeDual, and
// the records here), each bubble that does not touch the outer one around
// exactly one site; with every pressure 1 every film is straight, and
// compute_area gives exactly the area generation took.
TEST(GenerateFoam, MatchesTheRestartedScanAndClosesToATrivalentNetworkAroundTheSites) {
  std::vector<std::vector<vector3_type>> cases(3);
  for (int n = 1; n <= 3; ++n) load_preset_sites(cases[n - 1], n);
  for (unsigned seed : {71u, 72u, 73u}) {
    for (int count : {30, 300, 1500}) cases.push_back(froth_test::make_seeded_sites(seed, count));
  }
  cases.push_back(froth_test::make_seeded_sites(17u, 10));
  cases.push_back(froth_test::make_seeded_sites(3u, 2000));
  cases.push_back(froth_test::make_seeded_sites(74u, 150));
  for (std::size_t i = 0; i < 150; i += 7) cases.back().push_back(cases.back()[i]);
  int rebuilt = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    FoamMesh foam, slow;
    foam.m_outside_pressure = 7.0;
    generate_foam(foam, cases[i], 2.5, 0.125);
    rebuilt += generate_by_restarted_scan(slow, cases[i]);
    EXPECT_EQ(std::make_pair(foam.m_film_tension, foam.m_outside_pressure), std::make_pair(0.125, 1.0));
    for (auto const& f : foam.faces()) {
      EXPECT_FALSE(f.m_is_outer);
      EXPECT_GT(f.m_target_area, 0.0) << "clockwise bubble " << f.m_self;
      EXPECT_NEAR(f.m_target_area, polygon_area(foam, f), 1e-10) << "bubble " << f.m_self;
      EXPECT_NEAR(f.m_pressure * f.m_target_area, 2.5, 1e-9) << "smaller bubbles get higher pressures";
    }
    EXPECT_TRUE(mesh_records(foam, false) == mesh_records(slow, false));
    // The kernel's path, the replay's fallback, gives the same foam.
    FoamMesh kernel;
    generate_foam(kernel, cases[i], 2.5, 0.125, Quarvel::kordal::GenerationPath::kernel);
    EXPECT_TRUE(mesh_records(kernel, false) == mesh_records(foam, false)) << "the fallback builds another foam";

    std::size_t const faces = foam.face_size(), edges = foam.edge_size();
    close_open_boundary(foam, 0.0);
    EXPECT_EQ(std::make_tuple(foam.face_size(), foam.edge_size()), std::make_tuple(faces + 1, edges));
    EXPECT_TRUE(foam.faces().back().m_is_outer);
    EXPECT_EQ(foam.faces().back().m_pressure, 0.0);
    EXPECT_LT(polygon_area(foam, foam.faces().back()), 0.0);
    close_open_boundary(foam, 5.0);
    EXPECT_EQ(foam.face_size(), faces + 1) << "a closed foam stays as it is";
    reset_pressures(foam);
    ASSERT_TRUE(MeshIsValid(foam));
    ASSERT_GE(foam.face_size(), 3u) << "the case makes a foam worth testing";
    for (auto const& v : foam.vertices()) EXPECT_EQ(valency(v), 3u) << "junction " << v.m_self;
    for (auto const& h : foam.halfedges()) EXPECT_FALSE(h.m_face.is_null()) << "border " << h.m_self;
    EXPECT_EQ(foam.vertex_size(), 2 * (foam.face_size() - 1) - 2) << "Euler, the outer bubble not counted";
    std::set<std::pair<double, double>> sites;
    for (auto const& s : cases[i]) sites.emplace(s.x, s.y);
    std::size_t inner = 0;
    for (auto const& f : foam.faces()) {
      EXPECT_EQ(f.m_is_outer ? 0.0 : f.m_target_area, compute_area(f)) << "bubble " << f.m_self;
      bool touches_outer = f.m_is_outer;
      for (FoamMesh::const_face_halfedge_circulator h(foam, f.m_self); h; ++h) {
        touches_outer = touches_outer || foam.get_face(foam.get_halfedge(h->m_twin).m_face).m_is_outer;
      }
      if (touches_outer) continue;
      ++inner;
      std::size_t held = 0;
      for (auto const& s : sites) held += contains_point(f, vector3_type(s.first, s.second, 0.0));
      EXPECT_EQ(held, 1u) << "bubble " << f.m_self;
    }
    EXPECT_TRUE(sites.size() < 64 || inner > 0) << "a large case has inner bubbles";
  }
  EXPECT_GT(rebuilt, 20) << "the comparison covers rebuilt bubbles";
}

}  // namespace
