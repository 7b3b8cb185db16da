// Building, taking apart and walking the half-edge mesh; the validity checker
// runs after every change and reports every broken link.

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;
using Quarvel::kordal::is_boundary;
using Quarvel::kordal::valency;

/// Every link of every record, so that "unchanged" can be checked exactly.
std::string fingerprint(FoamMesh const& m) {
  std::ostringstream s;
  for (auto const& v : m.vertices()) s << 'v' << v.m_self << ':' << v.m_outgoing_halfedge << ' ';
  for (auto const& h : m.halfedges()) {
    s << 'h' << h.m_self << ':' << h.m_next << ',' << h.m_prev << ',' << h.m_face << ',' << h.m_twin << ','
      << h.m_destination << ',' << h.m_edge << ' ';
  }
  for (auto const& e : m.edges()) s << 'e' << e.m_self << ':' << e.m_halfedge0 << ',' << e.m_halfedge1 << ' ';
  for (auto const& f : m.faces()) s << 'f' << f.m_self << ':' << f.m_border_halfedge << ' ';
  s << m.kernel().vertex_handle_table().size() << ',' << m.kernel().halfedge_handle_table().size() << ','
    << m.kernel().edge_handle_table().size() << ',' << m.kernel().face_handle_table().size();
  return s.str();
}

/// The face's vertices from its smallest handle on.
std::vector<vertex_handle> face_vertices(FoamMesh const& m, face_handle f) {
  std::vector<vertex_handle> out;
  for (FoamMesh::const_face_halfedge_circulator c(m, f); c; ++c) out.push_back(m.origin(c.handle()));
  std::rotate(out.begin(), std::min_element(out.begin(), out.end()), out.end());
  return out;
}

std::size_t boundary_halfedges(FoamMesh const& m) {
  return std::count_if(m.halfedges().begin(), m.halfedges().end(), [](auto const& h) { return h.m_face.is_null(); });
}

FoamMesh::halfedge_type& he(FoamMesh& m, std::uint32_t i) { return m.get_halfedge(halfedge_handle(i)); }

/// The hexagon ring with all six triangles.
FoamMesh hexagon_ring(std::vector<vertex_handle>& v) {
  FoamMesh m;
  v = make_hexagon_points(m);
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(m.add_face(hexagon_triangle(v, i)).is_null());
  return m;
}

TEST(AddFace, RefusalsLeaveTheMeshExactlyAsItWas) {
  std::vector<vertex_handle> v;
  FoamMesh m = hexagon_ring(v);
  vertex_handle const lonely = m.add_vertex(vector3_type(5, 5, 0));
  std::string const before = fingerprint(m);
  struct Case {
    char const* what;
    std::vector<vertex_handle> loop;
  } const cases[] = {
      {"empty", {}},
      {"two vertices", {v[1], lonely}},
      {"invalid handle", {v[1], lonely, vertex_handle(999)}},
      {"null handle", {v[1], lonely, vertex_handle()}},
      {"repeated vertex", {v[1], lonely, v[1], v[2]}},
      {"through the surrounded centre", {v[0], lonely, v[1]}},
      {"half-edge already has a face", {v[0], v[1], v[2]}},
      {"same face again, rotated", {v[2], v[0], v[1]}},
  };
  for (auto const& c : cases) {
    EXPECT_TRUE(m.add_face(c.loop).is_null()) << c.what;
    EXPECT_EQ(fingerprint(m), before) << c.what;
  }
  vertex_handle const arr[2] = {v[1], v[2]};
  EXPECT_TRUE(m.add_face(arr, arr + 2).is_null());
  EXPECT_EQ(fingerprint(m), before);
}

// F = (a, u, w) needs no new edge. At u the fan of P lies where F goes and is
// moved to the other gap; at w, F would close the fan of B1 and B2 with the
// fan of Q still there, so add_face refuses after the move at u and must undo
// it.
TEST(AddFace, ARefusalAfterRelinkingUndoesTheRelinking) {
  FoamMesh m;
  auto const v = add_points(m, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}});
  vertex_handle const u = v[0], a = v[1], w = v[2], d = v[3], c = v[4];
  for (auto const& f :
       std::vector<std::vector<vertex_handle>>{{u, a, d}, {u, v[5], v[6]}, {a, w, c}, {c, w, u}, {w, v[7], v[8]}}) {
    ASSERT_FALSE(m.add_face(f).is_null());
  }
  ASSERT_NE(m.get_halfedge(m.find_halfedge(a, u)).m_next, m.find_halfedge(u, w)) << "P lies between A and B1 at u";
  std::string const before = fingerprint(m);
  EXPECT_TRUE(m.add_face(std::vector<vertex_handle>{a, u, w}).is_null());
  EXPECT_EQ(fingerprint(m), before);
  EXPECT_TRUE(MeshIsValid(m));
}

// The second triangle takes over the first one's boundary half-edge 0 -> 2.
TEST(AddFace, TwoTrianglesShareOneEdge) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_EQ(std::make_tuple(m.face_size(), m.edge_size(), m.halfedge_size(), boundary_halfedges(m)),
            std::make_tuple(2u, 5u, 10u, 4u));
  halfedge_handle const shared = m.find_halfedge(v[0], v[2]);
  ASSERT_FALSE(shared.is_null());
  EXPECT_EQ(m.find_halfedge(v[2], v[0]), m.twin(shared));
  EXPECT_FALSE(m.get_halfedge(shared).m_face.is_null());
  EXPECT_FALSE(m.get_halfedge(m.twin(shared)).m_face.is_null());
  EXPECT_EQ(face_vertices(m, m.faces().front().m_self), (std::vector<vertex_handle>{v[0], v[1], v[2]}));
  EXPECT_EQ(face_vertices(m, m.faces().back().m_self), (std::vector<vertex_handle>{v[0], v[2], v[3]}));
  EXPECT_TRUE(m.find_halfedge(v[1], v[3]).is_null());
  EXPECT_TRUE(m.find_halfedge(v[1], vertex_handle(77)).is_null());
}

// Every order, such as one that leaves the centre with two boundary gaps
// between fans, re-links the boundary.
TEST(AddFace, HexagonRingInEveryOrderRelinksTheBoundary) {
  std::vector<int> order(6);
  std::iota(order.begin(), order.end(), 0);
  int orders = 0;
  do {
    FoamMesh m;
    auto v = make_hexagon_points(m);
    for (int step = 0; step < 6; ++step) {
      ASSERT_FALSE(m.add_face(hexagon_triangle(v, order[step])).is_null()) << "order #" << orders << " step " << step;
      ASSERT_TRUE(MeshIsValid(m)) << "order #" << orders << " step " << step;
    }
    EXPECT_EQ(m.edge_size(), 12u);
    EXPECT_EQ(boundary_halfedges(m), 6u);
    for (int i = 0; i <= 6; ++i) EXPECT_EQ(is_boundary(m.get_vertex(v[i])), i > 0);
    ++orders;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 720);
}

// Faces removed in random orders down to isolated vertices; the ring can be
// built again on the same vertices.
TEST(RemoveFace, RandomOrdersOnTheHexagonRing) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<vertex_handle> v;
    FoamMesh m = hexagon_ring(v);
    std::vector<face_handle> faces;
    for (auto const& f : m.faces()) faces.push_back(f.m_self);
    std::shuffle(faces.begin(), faces.end(), rng);
    for (face_handle f : faces) {
      ASSERT_TRUE(m.remove_face(f));
      ASSERT_TRUE(MeshIsValid(m)) << "round " << round;
      EXPECT_FALSE(m.is_valid_face_handle(f));
    }
    EXPECT_EQ(m.edge_size() + m.halfedge_size(), 0u);
    for (auto const& vr : m.vertices()) EXPECT_TRUE(vr.m_outgoing_halfedge.is_null() && valency(vr) == 0);
    for (int i = 0; i < 6; ++i) ASSERT_FALSE(m.add_face(hexagon_triangle(v, i)).is_null());
    ASSERT_TRUE(MeshIsValid(m));
  }
}

TEST(RemoveEdgeAndVertex, RefuseWhatStillHasNeighbours) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  std::string const before = fingerprint(m);
  for (auto const& e : m.edges()) EXPECT_FALSE(m.remove_edge(e.m_self));
  EXPECT_FALSE(m.remove_edge(edge_handle(1234)));
  for (auto h : v) EXPECT_FALSE(m.remove_vertex(h));
  EXPECT_EQ(fingerprint(m), before);

  // One face removed: the shared edge stays, with a face on one side.
  m.remove_face(m.faces().front().m_self);
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_EQ(m.edge_size(), 3u);
  halfedge_handle const shared = m.find_halfedge(v[0], v[2]);
  ASSERT_FALSE(shared.is_null());
  EXPECT_FALSE(m.remove_edge(m.get_halfedge(shared).m_edge));
  EXPECT_FALSE(m.remove_vertex(v[0]));
  EXPECT_TRUE(m.remove_vertex(v[1]));  // left isolated by the removal
  EXPECT_TRUE(MeshIsValid(m));
}

TEST(Handles, NumberedInCreationOrderAndNeverReusedUntilClear) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  EXPECT_EQ(v[3].get_idx(), 3u);
  face_handle const f0 = m.faces().front().m_self;
  EXPECT_EQ(f0.get_idx(), 0u);
  m.remove_face(f0);
  vertex_handle const extra = m.add_vertex(vector3_type(2, 2, 0));
  EXPECT_EQ(extra.get_idx(), 4u);
  EXPECT_EQ(m.add_face(std::vector<vertex_handle>{v[0], v[1], extra}).get_idx(), 2u);
  // Edges 0 and 1 went with the face; the three new ones continue at 5.
  std::vector<std::uint32_t> edge_ids;
  for (auto const& e : m.edges()) edge_ids.push_back(e.m_self.get_idx());
  EXPECT_EQ(edge_ids, (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(MeshIsValid(m));

  m.clear();
  EXPECT_EQ(m.vertex_size() + m.halfedge_size() + m.edge_size() + m.face_size(), 0u);
  make_two_triangles(m);
  EXPECT_EQ(fingerprint(m), [] {
    FoamMesh fresh;
    make_two_triangles(fresh);
    return fingerprint(fresh);
  }());
}

TEST(Circulators, VisitEachElementOnce) {
  std::vector<vertex_handle> v;
  FoamMesh m = hexagon_ring(v);
  vertex_handle const isolated = m.add_vertex(vector3_type(9, 9, 0));
  std::set<halfedge_handle> seen;
  for (FoamMesh::vertex_halfedge_circulator c(m, v[0]); c; ++c) {
    EXPECT_EQ(m.origin(c.handle()), v[0]);
    EXPECT_TRUE(seen.insert(c.handle()).second);
  }
  EXPECT_EQ(seen.size(), 6u);
  // A boundary vertex starts at its boundary half-edge.
  FoamMesh::vertex_halfedge_circulator b(m, v[1]);
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->m_face.is_null());
  EXPECT_EQ(valency(m.get_vertex(v[1])), 3u);
  EXPECT_FALSE(FoamMesh::vertex_halfedge_circulator(m, isolated));
  EXPECT_FALSE(FoamMesh::face_halfedge_circulator(m, face_handle()));
  face_handle const f = m.faces().front().m_self;
  int n = 0;
  for (auto const& h : FoamMesh::face_halfedge_circulator(m, f)) n += h.m_face == f;
  EXPECT_EQ(n, 3);
  EXPECT_EQ(Quarvel::kordal::film_count(m.get_face(f)), 3u);
}

// The validity checker would report a copy that kept the original's owner.
TEST(Copy, KeepsLinksAndTakesOwnership) {
  FoamMesh m;
  make_two_triangles(m);
  m.remove_face(m.faces().front().m_self);
  FoamMesh copy(m);
  EXPECT_EQ(fingerprint(copy), fingerprint(m));
  EXPECT_TRUE(MeshIsValid(copy));
  FoamMesh moved(std::move(copy));
  EXPECT_TRUE(MeshIsValid(moved));
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
    EXPECT_FALSE(m.is_valid());
  }
}

}  // namespace
