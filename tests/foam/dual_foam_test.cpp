#include "foam/dual_foam.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "foam/random_source.h"
#include "foam/site_sets.h"
#include "foam/triangulate_sites.h"
#include "foam_builders.h"

namespace {

using namespace Quarvel::kordal;
using froth_test::MeshIsValid;
using froth_test::polygon_area;
using vertex_handle = FoamMesh::vertex_handle;
using face_handle = FoamMesh::face_handle;

template <typename F>
std::string message_of(F&& f) {
  try {
    f();
  } catch (std::exception const& e) {
    return e.what();
  }
  return "no exception";
}

std::vector<vertex_handle> loop_of(FoamMesh const& foam, FoamMesh::face_type const& f) {
  std::vector<vertex_handle> out;
  for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) out.push_back(foam.origin(c.handle()));
  return out;
}

// -- circumcentres --------------------------------------------------------------------

// A triangle face in the given corner order; its loop starts at the last
// corner (the kernel's border half-edge runs from it to the first).
FoamMesh::face_type const& triangle(FoamMesh& mesh, std::vector<std::pair<double, double>> const& xy) {
  auto const v = froth_test::add_points(mesh, xy);
  face_handle const f = mesh.add_face(v);
  return mesh.get_face(f);
}

void expect_circumcentre(FoamMesh const& mesh, FoamMesh::face_type const& t, vector3_type const& c) {
  EXPECT_EQ(c.z, 0.0);
  double r[3];
  int i = 0;
  for (auto const v : loop_of(mesh, t)) r[i++] = length(mesh.get_vertex(v).m_coord - c);
  EXPECT_NEAR(r[0], r[1], 1e-9 * r[0]);
  EXPECT_NEAR(r[0], r[2], 1e-9 * r[0]);
}

TEST(VoronoiVertexPolicy, HorizontalAndSlantedSides) {
  FoamMesh mesh;
  // Corners v0, v1, v2 give the loop v2 -> v0 -> v1: the first side is v2 v0,
  // the second v0 v1.
  auto const& second_flat = triangle(mesh, {{0, 0}, {2, 0}, {0, 2}});
  EXPECT_EQ(voronoi_vertex_policy(second_flat), vector3_type(1, 1, 0));

  auto const& first_flat = triangle(mesh, {{0, 0}, {1, 3}, {2, 0}});
  vector3_type const c = voronoi_vertex_policy(first_flat);
  EXPECT_EQ(c.x, 1.0);
  EXPECT_NEAR(c.y, 4.0 / 3.0, 1e-15);
  expect_circumcentre(mesh, first_flat, c);

  auto const& third_flat = triangle(mesh, {{1, 5}, {0, 0}, {3, 0}});
  expect_circumcentre(mesh, third_flat, voronoi_vertex_policy(third_flat));
  EXPECT_NEAR(voronoi_vertex_policy(third_flat).x, 1.5, 1e-15);

  auto const& slanted = triangle(mesh, {{0.3, -1.2}, {4.1, 0.7}, {-2.2, 3.9}});
  expect_circumcentre(mesh, slanted, voronoi_vertex_policy(slanted));
}

// A side a rounding error away from horizontal, as sites computed with cos
// and sin have: bisector slopes of 1e16 would put this centre at y = 0.
TEST(VoronoiVertexPolicy, AlmostHorizontalSideKeepsItsPrecision) {
  FoamMesh mesh;
  auto const& t = triangle(mesh, {{0, 0}, {-0.5, std::sqrt(0.75)}, {-1, 1.2246467991473532e-16}});
  vector3_type const c = voronoi_vertex_policy(t);
  EXPECT_NEAR(c.x, -0.5, 1e-15);
  EXPECT_NEAR(c.y, std::sqrt(1.0 / 12.0), 1e-15);
  expect_circumcentre(mesh, t, c);
}

TEST(VoronoiVertexPolicy, RandomTrianglesAreEquidistant) {
  seed_random_generator(41u);
  FoamMesh mesh;
  for (int i = 0; i < 500; ++i) {
    vector3_type const p = random_vector(-30, 30), q = random_vector(-30, 30), r = random_vector(-30, 30);
    if (std::abs(cross(q - p, r - p).z) < 1.0) continue;
    auto const& t = triangle(mesh, {{p.x, p.y}, {q.x, q.y}, {r.x, r.y}});
    expect_circumcentre(mesh, t, voronoi_vertex_policy(t));
  }
}

TEST(VoronoiVertexPolicy, RefusesNonTrianglesAndFlatTriangles) {
  FoamMesh mesh;
  auto const quad = froth_test::add_points(mesh, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  face_handle const q = mesh.add_face(quad);
  EXPECT_THROW(voronoi_vertex_policy(mesh.get_face(q)), std::logic_error);
  EXPECT_EQ(message_of([&] { voronoi_vertex_policy(mesh.get_face(q)); }),
            "voronoi_vertex_policy: only triangular faces are allowed");

  for (auto const& corners : {std::vector<std::pair<double, double>>{{0, 5}, {1, 5}, {3, 5}},
                               std::vector<std::pair<double, double>>{{0, 0}, {1, 2}, {3, 6}}}) {
    auto const& flat = triangle(mesh, corners);
    EXPECT_THROW(voronoi_vertex_policy(flat), std::logic_error);
    EXPECT_EQ(message_of([&] { voronoi_vertex_policy(flat); }),
              "voronoi_vertex_policy(): No common intersection point exist, giving up!");
  }
}

// -- the dual ------------------------------------------------------------------------

TEST(ComputeDual, HexagonFanGivesOneClockwiseBubble) {
  FoamMesh triangles;
  auto const v = froth_test::make_hexagon_points(triangles);
  for (int i = 0; i < 6; ++i) triangles.add_face(froth_test::hexagon_triangle(v, i));
  FoamMesh dual;
  compute_dual(triangles, dual);
  EXPECT_TRUE(MeshIsValid(dual));
  EXPECT_EQ(dual.vertex_size(), 6u);
  ASSERT_EQ(dual.face_size(), 1u);
  auto const& bubble = dual.faces().front();
  EXPECT_EQ(film_count(bubble), 6u);
  EXPECT_GT(polygon_area(dual, bubble), 0.0) << "clockwise";
  // Each junction is the circumcentre of its triangle, in face order.
  auto face = triangles.faces().begin();
  for (auto const& j : dual.vertices()) {
    expect_circumcentre(triangles, *face, j.m_coord);
    ++face;
  }
}

TEST(ComputeDual, SameMeshThrowsBeforeChangingIt) {
  FoamMesh triangles;
  auto const v = froth_test::make_hexagon_points(triangles);
  for (int i = 0; i < 6; ++i) triangles.add_face(froth_test::hexagon_triangle(v, i));
  EXPECT_THROW(compute_dual(triangles, triangles), std::invalid_argument);
  EXPECT_EQ(message_of([&] { compute_dual(triangles, triangles); }),
            "polymesh::compute_dual(): original and dual meshes must not be the same");
  EXPECT_TRUE(MeshIsValid(triangles));
  EXPECT_EQ(triangles.vertex_size(), 7u);
  EXPECT_EQ(triangles.face_size(), 6u);
}

// -- small site sets ------------------------------------------------------------------

void expect_empty_foam(std::vector<vector3_type> const& sites) {
  FoamMesh foam;
  froth_test::make_two_triangles(foam);
  generate_foam(foam, sites, 1.0, 0.25);
  EXPECT_TRUE(MeshIsValid(foam));
  EXPECT_EQ(foam.vertex_size(), 0u);
  EXPECT_EQ(foam.face_size(), 0u);
  close_open_boundary(foam, 0.0);
  EXPECT_EQ(foam.face_size(), 0u);
}

TEST(GenerateFoam, SitesWithoutInnerSiteGiveAnEmptyFoam) {
  expect_empty_foam({});
  expect_empty_foam({{0, 0, 0}, {3, 0, 0}, {1, 2, 0}});
  expect_empty_foam({{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}});
  expect_empty_foam({{-1, -2, 0}, {5, 1, 0}, {2, 6, 0}, {-3, 4, 0}});
}

TEST(GenerateFoam, SquareWithCentreGivesAnEmptyFoam) {
  // One bubble around the centre, all four corners with two films: the
  // repair finds no three-film junction and removes it.
  expect_empty_foam({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 0}});
}

TEST(GenerateFoam, DegenerateSitesGiveAnEmptyFoam) {
  expect_empty_foam({{2, 3, 0}});
  expect_empty_foam({{2, 3, 0}, {4, 5, 0}});
  expect_empty_foam({{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {2, 2, 0}, {2, 2, 0}});
  std::vector<vector3_type> line;
  for (int i = 0; i < 50; ++i) line.push_back(vector3_type(0.5 * i - 3.0, -0.25 * i + 1.0, 0.0));
  expect_empty_foam(line);
}

TEST(GenerateFoam, ThreeInnerSitesAreRebuiltFromTheirThreeFilmJunctions) {
  // Three inner sites around the origin inside a ring of nine: each inner
  // bubble keeps the centre junction and the two three-film junctions at the
  // ends of its shared films, and becomes a triangle.
  std::vector<vector3_type> sites;
  for (int i = 0; i < 3; ++i) {
    double const a = M_PI / 2 + i * 2 * M_PI / 3;
    sites.push_back(vector3_type(std::cos(a), std::sin(a), 0.0));
  }
  for (int i = 0; i < 9; ++i) {
    double const a = 0.1 + i * 2 * M_PI / 9;
    sites.push_back(vector3_type(4 * std::cos(a), 4 * std::sin(a), 0.0));
  }
  FoamMesh foam = froth_test::make_foam_from_sites(sites, false);
  EXPECT_TRUE(MeshIsValid(foam));
  ASSERT_EQ(foam.face_size(), 3u);
  EXPECT_EQ(foam.vertex_size(), 4u);
  for (auto const& f : foam.faces()) {
    EXPECT_EQ(film_count(f), 3u);
    EXPECT_GT(polygon_area(foam, f), 0.0);
  }
  std::size_t at_origin = 0;
  for (auto const& v : foam.vertices()) {
    EXPECT_EQ(valency(v), 3u);
    at_origin += length(v.m_coord) < 1e-12 ? 1 : 0;
  }
  EXPECT_EQ(at_origin, 1u);

  close_open_boundary(foam, 0.0);
  EXPECT_TRUE(MeshIsValid(foam));
  EXPECT_EQ(foam.face_size(), 4u);
}

// -- generation and closing -----------------------------------------------------------

TEST(GenerateFoam, SetsTensionTargetAreasAndPressures) {
  seed_random_generator(51u);
  std::vector<vector3_type> sites;
  make_random_sites(sites, 300, 960.0, 540.0);
  FoamMesh foam;
  foam.m_outside_pressure = 7.0;
  generate_foam(foam, sites, 2.5, 0.125);
  ASSERT_TRUE(MeshIsValid(foam));
  ASSERT_GT(foam.face_size(), 100u);
  EXPECT_EQ(foam.m_film_tension, 0.125);
  EXPECT_EQ(foam.m_outside_pressure, 1.0);
  for (auto const& v : foam.vertices()) EXPECT_EQ(valency(v), 3u);
  for (auto const& f : foam.faces()) {
    double const area = polygon_area(foam, f);
    EXPECT_GT(area, 0.0);
    EXPECT_NEAR(f.m_target_area, area, 1e-10);
    EXPECT_NEAR(f.m_pressure * area, 2.5, 1e-9) << "smaller bubbles get higher pressures";
    EXPECT_FALSE(f.m_is_outer);
  }
}

TEST(CloseOpenBoundary, AddsTheOuterBubbleFromExistingFilms) {
  FoamMesh foam = froth_test::make_generated_foam(61u, 200, false);
  std::size_t const faces = foam.face_size();
  std::size_t const edges = foam.edge_size();
  ASSERT_TRUE(find_outer_bubble(foam).is_null());

  close_open_boundary(foam, 0.0);
  EXPECT_TRUE(MeshIsValid(foam));
  EXPECT_EQ(foam.face_size(), faces + 1);
  EXPECT_EQ(foam.edge_size(), edges) << "no film is created";
  face_handle const outer = find_outer_bubble(foam);
  ASSERT_FALSE(outer.is_null());
  EXPECT_EQ(outer, foam.faces().back().m_self);
  EXPECT_EQ(foam.get_face(outer).m_pressure, 0.0);
  EXPECT_EQ(compute_area(foam.get_face(outer)), 0.0);
  EXPECT_LT(polygon_area(foam, foam.get_face(outer)), 0.0) << "the former boundary loop runs counter-clockwise";
  for (auto const& h : foam.halfedges()) EXPECT_FALSE(h.m_face.is_null());

  close_open_boundary(foam, 5.0);
  EXPECT_EQ(foam.face_size(), faces + 1) << "a closed foam stays as it is";
}

TEST(CloseOpenBoundary, ClosesOnlyTheFirstLoop) {
  FoamMesh mesh;
  auto const a = froth_test::add_points(mesh, {{0, 0}, {0, 1}, {1, 0}});
  auto const b = froth_test::add_points(mesh, {{5, 0}, {5, 1}, {6, 0}});
  mesh.add_face(a);
  mesh.add_face(b);
  close_open_boundary(mesh, 2.0);
  EXPECT_TRUE(MeshIsValid(mesh));
  ASSERT_EQ(mesh.face_size(), 3u);
  auto const& outer = mesh.faces().back();
  EXPECT_TRUE(outer.m_is_outer);
  EXPECT_EQ(outer.m_pressure, 2.0);
  std::size_t open = 0;
  for (auto const& h : mesh.halfedges()) open += h.m_face.is_null() ? 1 : 0;
  EXPECT_EQ(open, 3u);
}

// -- the border repair matches the restarted scan -------------------------------------

// Generation with the border repair exactly as first stated: after every
// repair the scan starts again at the first junction. Returns the number of
// bubbles rebuilt.
int generate_by_restarted_scan(FoamMesh& foam, std::vector<vector3_type> const& sites, double scale,
                               double tension) {
  {
    FoamMesh triangles;
    foam.clear();
    triangulate_sites(sites, triangles);
    compute_dual(triangles, foam);
  }
  int rebuilt = 0;
  for (;;) {
    vertex_handle v;
    for (auto const& u : foam.vertices()) {
      if (valency(u) == 2) {
        v = u.m_self;
        break;
      }
    }
    if (v.is_null()) break;
    auto const out = foam.get_vertex(v).m_outgoing_halfedge;
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
  foam.m_film_tension = tension;
  foam.m_outside_pressure = 1.0;
  for (auto& f : foam.faces()) f.m_target_area = compute_area(f);
  for (auto& f : foam.faces()) f.m_pressure = scale / f.m_target_area;
  return rebuilt;
}

// Every link of every record agrees, so the two foams walk alike.
void expect_same_links(FoamMesh const& a, FoamMesh const& b) {
  auto bv = b.vertices().begin();
  for (auto const& v : a.vertices()) {
    ASSERT_EQ(v.m_outgoing_halfedge, bv->m_outgoing_halfedge) << "junction " << v.m_self;
    ++bv;
  }
  ASSERT_EQ(a.halfedge_size(), b.halfedge_size());
  auto bh = b.halfedges().begin();
  for (auto const& h : a.halfedges()) {
    ASSERT_EQ(h.m_self, bh->m_self);
    ASSERT_EQ(h.m_next, bh->m_next) << "border " << h.m_self;
    ASSERT_EQ(h.m_prev, bh->m_prev) << "border " << h.m_self;
    ASSERT_EQ(h.m_face, bh->m_face) << "border " << h.m_self;
    ASSERT_EQ(h.m_twin, bh->m_twin) << "border " << h.m_self;
    ASSERT_EQ(h.m_destination, bh->m_destination) << "border " << h.m_self;
    ASSERT_EQ(h.m_edge, bh->m_edge) << "border " << h.m_self;
    ++bh;
  }
  ASSERT_EQ(a.edge_size(), b.edge_size());
  auto be = b.edges().begin();
  for (auto const& e : a.edges()) {
    ASSERT_EQ(e.m_self, be->m_self);
    ASSERT_EQ(e.m_halfedge0, be->m_halfedge0);
    ASSERT_EQ(e.m_halfedge1, be->m_halfedge1);
    ++be;
  }
}

// generate_foam builds the dual on index arrays and repairs the border with a
// heap; both must give exactly the foam of the kernel-built dual repaired by
// the restarted scan.
TEST(GenerateFoam, RepairMatchesTheRestartedScan) {
  int rebuilt = 0;
  for (unsigned seed : {71u, 72u, 73u}) {
    for (int count : {30, 300, 1500}) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << count << " sites");
      seed_random_generator(seed);
      std::vector<vector3_type> sites;
      make_random_sites(sites, count, 960.0, 540.0);
      FoamMesh fast, slow;
      generate_foam(fast, sites, 1.0, 0.25);
      rebuilt += generate_by_restarted_scan(slow, sites, 1.0, 0.25);
      ASSERT_EQ(fast.vertex_size(), slow.vertex_size());
      ASSERT_EQ(fast.face_size(), slow.face_size());
      auto sv = slow.vertices().begin();
      for (auto const& v : fast.vertices()) {
        ASSERT_EQ(v.m_self, sv->m_self);
        ASSERT_EQ(v.m_coord, sv->m_coord);
        ++sv;
      }
      auto sf = slow.faces().begin();
      for (auto const& f : fast.faces()) {
        ASSERT_EQ(f.m_self, sf->m_self);
        ASSERT_EQ(f.m_border_halfedge, sf->m_border_halfedge);
        ASSERT_EQ(loop_of(fast, f), loop_of(slow, *sf));
        EXPECT_EQ(f.m_target_area, sf->m_target_area);
        EXPECT_NEAR(f.m_pressure, sf->m_pressure, 1e-9 * f.m_pressure);
        ++sf;
      }
      expect_same_links(fast, slow);
    }
  }
  EXPECT_GT(rebuilt, 20) << "the comparison covers rebuilt bubbles";
}

TEST(GenerateFoam, PresetsAndDuplicatesMatchTheKernelBuild) {
  for (int n = 0; n <= 3; ++n) {
    SCOPED_TRACE(n);
    std::vector<vector3_type> sites;
    if (n > 0) {
      load_preset_sites(sites, n);
    } else {
      // Duplicate sites stay isolated points of the triangle mesh.
      seed_random_generator(74u);
      make_random_sites(sites, 150, 960.0, 540.0);
      for (std::size_t i = 0; i < 150; i += 7) sites.push_back(sites[i]);
    }
    FoamMesh fast, slow;
    generate_foam(fast, sites, 1.0, 0.25);
    generate_by_restarted_scan(slow, sites, 1.0, 0.25);
    ASSERT_EQ(fast.vertex_size(), slow.vertex_size());
    ASSERT_EQ(fast.face_size(), slow.face_size());
    expect_same_links(fast, slow);
  }
}

// -- properties of generated, closed foams --------------------------------------------

struct FoamCase {
  char const* name;
  unsigned seed;
  int count;   // random sites, or 0 for a preset
  int preset;  // 1 to 3, or 0 for random sites
};

class GeneratedFoam : public ::testing::TestWithParam<FoamCase> {
 protected:
  void SetUp() override {
    FoamCase const& c = GetParam();
    m_foam = c.preset ? froth_test::make_preset_foam(c.preset, true, &m_sites)
                      : froth_test::make_generated_foam(c.seed, c.count, true, &m_sites);
    // The triangulator adds points on the hull so that every circumcentre
    // lies inside it; the junctions are circumcentres of all these points.
    FoamMesh triangles;
    triangulate_sites(m_sites, triangles);
    for (auto const& v : triangles.vertices()) m_points.push_back(v.m_coord);
  }

  bool touches_outer(FoamMesh::face_type const& f) const {
    for (FoamMesh::const_face_halfedge_circulator c(m_foam, f.m_self); c; ++c) {
      if (m_foam.get_face(m_foam.get_halfedge(c->m_twin).m_face).m_is_outer) return true;
    }
    return false;
  }

  bool inside(FoamMesh::face_type const& f, vector3_type const& p) const {
    bool in = false;
    for (FoamMesh::const_face_halfedge_circulator c(m_foam, f.m_self); c; ++c) {
      auto const& a = m_foam.get_vertex(m_foam.origin(c.handle())).m_coord;
      auto const& b = m_foam.get_vertex(c->m_destination).m_coord;
      if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) in = !in;
    }
    return in;
  }

  std::vector<vector3_type> m_sites;
  std::vector<vector3_type> m_points;
  FoamMesh m_foam;
};

TEST_P(GeneratedFoam, IsAClosedTrivalentNetwork) {
  ASSERT_TRUE(MeshIsValid(m_foam));
  ASSERT_GE(m_foam.face_size(), 3u) << "the case makes a foam worth testing";
  for (auto const& v : m_foam.vertices()) EXPECT_EQ(valency(v), 3u) << "junction " << v.m_self;
  for (auto const& h : m_foam.halfedges()) EXPECT_FALSE(h.m_face.is_null()) << "border " << h.m_self;
  std::size_t outer = 0;
  for (auto const& f : m_foam.faces()) outer += f.m_is_outer ? 1 : 0;
  EXPECT_EQ(outer, 1u);
  std::size_t const bubbles = m_foam.face_size() - 1;
  EXPECT_EQ(m_foam.vertex_size(), 2 * bubbles - 2);
}

TEST_P(GeneratedFoam, BubblesAreClockwiseAtTheirTargetAreas) {
  for (auto const& f : m_foam.faces()) {
    if (f.m_is_outer) {
      EXPECT_EQ(compute_area(f), 0.0);
      continue;
    }
    double const area = polygon_area(m_foam, f);
    EXPECT_GT(compute_area(f), 0.0) << "bubble " << f.m_self;
    EXPECT_NEAR(f.m_target_area, area, 1e-10) << "bubble " << f.m_self;
    // Every pressure is 1, so every film is straight: compute_area gives
    // exactly the area that generation took.
    EXPECT_EQ(f.m_target_area, compute_area(f)) << "bubble " << f.m_self;
    EXPECT_EQ(f.m_pressure, 1.0);
  }
}

TEST_P(GeneratedFoam, JunctionsAreCircumcentresOfTheirSites) {
  for (auto const& v : m_foam.vertices()) {
    double d[3] = {1e300, 1e300, 1e300};
    for (auto const& s : m_points) {
      double const r = length(s - v.m_coord);
      if (r < d[2]) {
        d[2] = r;
        std::sort(d, d + 3);
      }
    }
    EXPECT_NEAR(d[0], d[2], 1e-7 * (1.0 + d[0])) << "junction " << v.m_self << " at " << v.m_coord;
  }
}

TEST_P(GeneratedFoam, InnerBubblesHoldOneSiteEach) {
  std::set<std::pair<double, double>> distinct;
  for (auto const& s : m_sites) distinct.insert({s.x, s.y});
  ASSERT_EQ(distinct.size(), m_sites.size()) << "the case has no duplicate site";
  std::size_t inner = 0;
  for (auto const& f : m_foam.faces()) {
    if (f.m_is_outer || touches_outer(f)) continue;
    ++inner;
    std::size_t held = 0;
    for (auto const& s : m_sites) held += inside(f, s) ? 1 : 0;
    EXPECT_EQ(held, 1u) << "bubble " << f.m_self;
  }
  if (m_sites.size() >= 64) {
    EXPECT_GT(inner, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Sites, GeneratedFoam,
                         ::testing::Values(FoamCase{"random10", 17u, 10, 0}, FoamCase{"random200", 2u, 200, 0},
                                           FoamCase{"random2000", 3u, 2000, 0}, FoamCase{"preset1", 0u, 0, 1},
                                           FoamCase{"preset2", 0u, 0, 2}, FoamCase{"preset3", 0u, 0, 3}),
                         [](auto const& info) { return std::string(info.param.name); });

}  // namespace
