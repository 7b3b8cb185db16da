// Building, taking apart and walking the half-edge mesh; the validity checker
// runs after every change and reports every broken link.

#include <algorithm>
#include <numeric>
#include <random>

#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;
using Quarvel::kordal::is_boundary;
using Quarvel::kordal::valency;

FoamMesh::halfedge_type& he(FoamMesh& m, std::uint32_t i) { return m.get_halfedge(halfedge_handle(i)); }

// Each refused loop leaves the mesh as it was. The last case needs no new
// edge: at u the fan of P lies where F = (a, u, w) goes and is moved to the
// other gap; at w, F would close the fan of B1 and B2 with the fan of Q still
// there, so add_face refuses after the move at u and must undo it.
TEST(AddFace, RefusalsLeaveTheMeshExactlyAsItWas) {
  FoamMesh m;  // the hexagon ring with all six triangles
  auto const v = make_hexagon_points(m);
  for (int i = 0; i < 6; ++i) ASSERT_FALSE(m.add_face(hexagon_triangle(v, i)).is_null());
  vertex_handle const lonely = m.add_vertex(vector3_type(5, 5, 0));
  std::string const before = mesh_records(m);
  std::vector<vertex_handle> const cases[] = {
      {}, {v[1], lonely}, {v[1], lonely, vertex_handle(999)}, {v[1], lonely, vertex_handle()},
      {v[1], lonely, v[1], v[2]},  // a repeated vertex
      {v[0], lonely, v[1]},        // through the surrounded centre
      {v[0], v[1], v[2]},          // the half-edge already has a face
      {v[2], v[0], v[1]},          // the same face again, rotated
  };
  for (auto const& loop : cases) {
    EXPECT_TRUE(m.add_face(loop).is_null()) << &loop - cases;
    EXPECT_EQ(mesh_records(m), before) << &loop - cases;
  }

  FoamMesh r;
  auto const p = add_points(r, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}});
  vertex_handle const u = p[0], a = p[1], w = p[2], d = p[3], c = p[4];
  for (auto const& f :
       std::vector<std::vector<vertex_handle>>{{u, a, d}, {u, p[5], p[6]}, {a, w, c}, {c, w, u}, {w, p[7], p[8]}}) {
    ASSERT_FALSE(r.add_face(f).is_null());
  }
  ASSERT_NE(r.get_halfedge(r.find_halfedge(a, u)).m_next, r.find_halfedge(u, w)) << "P lies between A and B1 at u";
  std::string const relinked = mesh_records(r);
  EXPECT_TRUE(r.add_face(std::vector<vertex_handle>{a, u, w}).is_null());
  EXPECT_EQ(mesh_records(r), relinked);
  EXPECT_TRUE(MeshIsValid(r));
}

// Every order, such as one that leaves the centre with two boundary gaps
// between fans, re-links the boundary. Faces removed in a random order leave
// isolated vertices, on which the ring can be built again.
TEST(AddAndRemoveFace, TheHexagonRingInEveryOrder) {
  std::mt19937 rng(7);
  std::vector<int> order(6);
  std::iota(order.begin(), order.end(), 0);
  int orders = 0;
  do {
    SCOPED_TRACE(orders);
    FoamMesh m;
    auto v = make_hexagon_points(m);
    for (int step = 0; step < 6; ++step) {
      ASSERT_FALSE(m.add_face(hexagon_triangle(v, order[step])).is_null()) << "step " << step;
      ASSERT_TRUE(MeshIsValid(m)) << "step " << step;
    }
    EXPECT_EQ(m.edge_size(), 12u);
    for (int i = 0; i <= 6; ++i) EXPECT_EQ(is_boundary(m.get_vertex(v[i])), i > 0);
    std::vector<face_handle> faces;
    for (auto const& f : m.faces()) faces.push_back(f.m_self);
    std::shuffle(faces.begin(), faces.end(), rng);
    for (face_handle f : faces) {
      ASSERT_TRUE(m.remove_face(f));
      ASSERT_TRUE(MeshIsValid(m));
      EXPECT_FALSE(m.is_valid_face_handle(f));
    }
    EXPECT_EQ(m.edge_size() + m.halfedge_size(), 0u);
    for (auto const& vr : m.vertices()) EXPECT_TRUE(vr.m_outgoing_halfedge.is_null() && valency(vr) == 0);
    if (orders++ % 10) continue;
    for (int i = 0; i < 6; ++i) ASSERT_FALSE(m.add_face(hexagon_triangle(v, i)).is_null());
    ASSERT_TRUE(MeshIsValid(m));
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 720);
}

// Two triangles on one shared edge 0-2: edges and vertices with neighbours
// are refused; with one face gone the shared edge stays, and the corner left
// isolated goes. Handles are numbered in creation order and not reused until
// clear; a copy keeps every link and takes ownership.
TEST(RemoveEdgeAndVertex, RefuseWhatStillHasNeighboursAndHandlesAreNotReused) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  ASSERT_TRUE(MeshIsValid(m));
  std::string const before = mesh_records(m);
  for (auto const& e : m.edges()) EXPECT_FALSE(m.remove_edge(e.m_self));
  EXPECT_FALSE(m.remove_edge(edge_handle(1234)));
  for (auto h : v) EXPECT_FALSE(m.remove_vertex(h));
  EXPECT_EQ(mesh_records(m), before);
  EXPECT_EQ(m.find_halfedge(v[2], v[0]), m.twin(m.find_halfedge(v[0], v[2])));
  EXPECT_TRUE(m.find_halfedge(v[1], v[3]).is_null());

  m.remove_face(m.faces().front().m_self);
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_EQ(m.edge_size(), 3u);
  EXPECT_FALSE(m.remove_edge(m.get_halfedge(m.find_halfedge(v[0], v[2])).m_edge));
  EXPECT_FALSE(m.remove_vertex(v[0]));
  FoamMesh copy(m);
  EXPECT_EQ(mesh_records(copy), mesh_records(m));
  EXPECT_TRUE(MeshIsValid(copy));
  EXPECT_TRUE(MeshIsValid(FoamMesh(std::move(copy))));
  EXPECT_TRUE(m.remove_vertex(v[1]));
  vertex_handle const extra = m.add_vertex(vector3_type(2, 2, 0));
  EXPECT_EQ(extra.get_idx(), 4u);
  EXPECT_EQ(m.add_face(std::vector<vertex_handle>{v[0], v[3], extra}).get_idx(), 2u);
  // Edges 0 and 1 went with the face; the two new ones continue at 5.
  std::vector<std::uint32_t> edge_ids;
  for (auto const& e : m.edges()) edge_ids.push_back(e.m_self.get_idx());
  EXPECT_EQ(edge_ids, (std::vector<std::uint32_t>{2, 3, 4, 5, 6}));
  EXPECT_TRUE(MeshIsValid(m));
  m.clear();
  make_two_triangles(m);
  FoamMesh fresh;
  make_two_triangles(fresh);
  EXPECT_EQ(mesh_records(m), mesh_records(fresh));
}

/// Two twin half-edges that no edge lists; returns the first.
halfedge_handle loose_pair(FoamMesh& m) {
  halfedge_handle const a = m.create_halfedge(), b = m.create_halfedge();
  m.set_twin(a, b);
  m.set_twin(b, a);
  return a;
}

// Each reason the checker gives, provoked once on a bowtie: triangles 0 and 3
// of the hexagon ring, which meet only at the centre. Half-edges come in
// pairs, 2e and 2e + 1 of edge e; the even ones lie in the faces. Loops that
// do not close and circulators that leave their vertex cannot get past the
// next and prev checks.
TEST(Validity, ReportsEachBrokenLinkWithItsReason) {
  using M = FoamMesh;
  using H = halfedge_handle;
  struct Case {
    char const* report;
    void (*spoil)(M&);
  } const cases[] = {
      {"vertex table has 7 entries in use but the list holds 8 records", [](M& m) { m.vertices().emplace_back(); }},
      {"half-edge 99 is listed but its table entry is not in use", [](M& m) { he(m, 0).m_self = H(99); }},
      {"edge 5: table entry points at another record",
       [](M& m) { std::swap(m.edges().front().m_self, m.edges().back().m_self); }},
      {"face table has 2 entries in use but the list holds 3 records", [](M& m) { m.faces().emplace_back(); }},
      {"vertex 0 has another owner", [](M& m) { m.vertices().front().m_owner = nullptr; }},
      {"face 0 has another owner", [](M& m) { m.faces().front().m_owner = nullptr; }},
      {"edge 0 has another owner", [](M& m) { m.edges().front().m_owner = nullptr; }},
      {"half-edge 0 has another owner", [](M& m) { he(m, 0).m_owner = nullptr; }},
      {"edge 0 has an invalid half-edge", [](M& m) { m.edges().front().m_halfedge0 = H(99); }},
      {"edge 0: its half-edges are not twins", [](M& m) { m.edges().front().m_halfedge1 = H(2); }},
      {"edge 1: a half-edge does not carry the edge", [](M& m) { he(m, 2).m_edge = edge_handle(0); }},
      {"half-edge 0 has no valid twin", [](M& m) { he(m, 0).m_twin = m.edges().front().m_halfedge1 = H(0); }},
      {"half-edge 0: twin of twin is 3", [](M& m) { he(m, 1).m_twin = H(3); }},
      {"half-edge 12 and its twin do not share a valid edge", [](M& m) { loose_pair(m); }},
      {"half-edge 12 is not a half-edge of its edge 0",
       [](M& m) { he(m, 13).m_edge = he(m, loose_pair(m).get_idx()).m_edge = edge_handle(0); }},
      {"half-edge 0 has no valid destination", [](M& m) { he(m, 0).m_destination = vertex_handle(99); }},
      {"half-edge 0 starts and ends at vertex 0", [](M& m) { he(m, 0).m_destination = vertex_handle(0); }},
      {"half-edge 0 has an invalid next or prev", [](M& m) { he(m, 0).m_next = H(99); }},
      {"half-edge 0: prev of next is not itself", [](M& m) { he(m, 0).m_next = he(m, 0).m_prev; }},
      {"half-edge 0: next of prev is not itself", [](M& m) { he(m, 0).m_prev = he(m, 0).m_next; }},
      {"half-edge 0: its destination 2 is not the origin of its next",
       [](M& m) { he(m, 0).m_destination = vertex_handle(2); }},
      {"half-edge 0 points at removed face 99", [](M& m) { he(m, 0).m_face = face_handle(99); }},
      {"half-edge 0 and its next lie in different loops", [](M& m) { he(m, 0).m_face = face_handle(); }},
      {"face 0 has no valid border half-edge", [](M& m) { m.faces().front().m_border_halfedge = H(99); }},
      {"face 0: half-edge 6 of its loop carries face 1", [](M& m) { m.faces().front().m_border_halfedge = H(6); }},
      {"vertex 0 has edges but no outgoing half-edge", [](M& m) { m.vertices().front().m_outgoing_halfedge = H(); }},
      {"vertex 0 points at removed half-edge 99", [](M& m) { m.vertices().front().m_outgoing_halfedge = H(99); }},
      {"vertex 0: its outgoing half-edge starts elsewhere",
       [](M& m) { m.vertices().front().m_outgoing_halfedge = H(1); }},
      {"vertex 0: circulator visits 2 of its 4 outgoing half-edges",
       [](M& m) {  // each fan's boundary closed on itself
         H const n1 = he(m, 1).m_next;
         m.set_next(H(1), he(m, 7).m_next);
         m.set_next(H(7), n1);
       }},
      {"vertex 0 has an outgoing boundary half-edge but its outgoing half-edge has a face",
       [](M& m) { m.vertices().front().m_outgoing_halfedge = H(0); }},
  };
  for (auto const& c : cases) {
    M m;
    auto const v = make_hexagon_points(m);
    m.add_face(hexagon_triangle(v, 0));
    m.add_face(hexagon_triangle(v, 3));
    ASSERT_TRUE(MeshIsValid(m));
    c.spoil(m);
    std::ostringstream why;
    EXPECT_FALSE(m.is_valid(&why));
    EXPECT_EQ(why.str(), std::string("mesh invalid: ") + c.report + "\n");
  }
}

}  // namespace
