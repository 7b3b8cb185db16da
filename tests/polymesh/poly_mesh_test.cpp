// Building, taking apart and walking the half-edge mesh; the validity checker
// runs after every change.

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;

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

std::vector<vertex_handle> face_vertices(FoamMesh const& m, face_handle f) {
  std::vector<vertex_handle> out;
  for (FoamMesh::const_face_halfedge_circulator c(m, f); c; ++c) out.push_back(m.origin(c.handle()));
  return out;
}

/// Rotates a cycle so that it starts at its smallest handle, for comparisons.
std::vector<vertex_handle> canonical(std::vector<vertex_handle> loop) {
  std::rotate(loop.begin(), std::min_element(loop.begin(), loop.end()), loop.end());
  return loop;
}

std::size_t boundary_halfedges(FoamMesh const& m) {
  return std::count_if(m.halfedges().begin(), m.halfedges().end(), [](auto const& h) { return h.m_face.is_null(); });
}

TEST(AddFace, RefusalsLeaveTheMeshExactlyAsItWas) {
  FoamMesh m;
  auto v = make_hexagon_points(m);
  for (int i = 0; i < 6; ++i) ASSERT_FALSE(m.add_face(hexagon_triangle(v, i)).is_null());
  ASSERT_TRUE(MeshIsValid(m));
  vertex_handle const lonely = m.add_vertex(vector3_type(5, 5, 0));
  std::string const before = fingerprint(m);

  struct Case {
    char const* what;
    std::vector<vertex_handle> loop;
  };
  std::vector<Case> const cases{
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
    EXPECT_TRUE(MeshIsValid(m)) << c.what;
  }
  // The array form refuses alike.
  vertex_handle const arr[2] = {v[1], v[2]};
  EXPECT_TRUE(m.add_face(arr, arr + 2).is_null());
  EXPECT_EQ(fingerprint(m), before);
}

// The second triangle takes over the first one's boundary half-edge 0 -> 2.
TEST(AddFace, TwoTrianglesShareOneEdge) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_EQ(m.face_size(), 2u);
  EXPECT_EQ(m.edge_size(), 5u);
  EXPECT_EQ(m.halfedge_size(), 10u);
  EXPECT_EQ(boundary_halfedges(m), 4u);

  halfedge_handle const shared = m.find_halfedge(v[0], v[2]);
  ASSERT_FALSE(shared.is_null());
  EXPECT_EQ(m.find_halfedge(v[2], v[0]), m.twin(shared));
  EXPECT_FALSE(m.get_halfedge(shared).m_face.is_null());
  EXPECT_FALSE(m.get_halfedge(m.twin(shared)).m_face.is_null());
  EXPECT_NE(m.get_halfedge(shared).m_face, m.get_halfedge(m.twin(shared)).m_face);

  auto faces = m.faces().begin();
  EXPECT_EQ(canonical(face_vertices(m, faces->m_self)), (std::vector<vertex_handle>{v[0], v[1], v[2]}));
  ++faces;
  EXPECT_EQ(canonical(face_vertices(m, faces->m_self)), (std::vector<vertex_handle>{v[0], v[2], v[3]}));
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
    EXPECT_FALSE(Quarvel::kordal::is_boundary(m.get_vertex(v[0])));
    for (int i = 1; i <= 6; ++i) EXPECT_TRUE(Quarvel::kordal::is_boundary(m.get_vertex(v[i])));
    ++orders;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 720);
}

TEST(RemoveFace, TakesTheMeshApartDownToIsolatedVertices) {
  FoamMesh m;
  auto v = make_two_triangles(m);
  face_handle const first = m.faces().front().m_self;
  face_handle const second = m.faces().back().m_self;
  ASSERT_TRUE(m.remove_face(first));
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_FALSE(m.is_valid_face_handle(first));
  EXPECT_EQ(m.edge_size(), 3u);  // the shared edge stays, now on the boundary
  EXPECT_FALSE(m.find_halfedge(v[0], v[2]).is_null());
  EXPECT_TRUE(m.get_vertex(v[1]).m_outgoing_halfedge.is_null());

  ASSERT_TRUE(m.remove_face(second));
  ASSERT_TRUE(MeshIsValid(m));
  EXPECT_EQ(m.edge_size(), 0u);
  EXPECT_EQ(m.halfedge_size(), 0u);
  EXPECT_EQ(m.vertex_size(), 4u);
  for (auto const& vr : m.vertices()) {
    EXPECT_TRUE(vr.m_outgoing_halfedge.is_null());
    EXPECT_EQ(Quarvel::kordal::valency(vr), 0u);
    EXPECT_TRUE(Quarvel::kordal::is_boundary(vr));
  }
  for (auto h : v) EXPECT_TRUE(m.remove_vertex(h));
  EXPECT_TRUE(MeshIsValid(m));
  EXPECT_EQ(m.vertex_size(), 0u);
}

TEST(RemoveFace, RandomOrdersOnTheHexagonRing) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    FoamMesh m;
    auto v = make_hexagon_points(m);
    std::vector<face_handle> faces;
    for (int i = 0; i < 6; ++i) faces.push_back(m.add_face(hexagon_triangle(v, i)));
    std::shuffle(faces.begin(), faces.end(), rng);
    for (face_handle f : faces) {
      ASSERT_TRUE(m.remove_face(f));
      ASSERT_TRUE(MeshIsValid(m)) << "round " << round;
    }
    EXPECT_EQ(m.edge_size(), 0u);
    // The ring can be built again on the same vertices.
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

  // One face removed: the shared edge still has a face on one side.
  m.remove_face(m.faces().front().m_self);
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
  EXPECT_EQ(v[0].get_idx(), 0u);
  EXPECT_EQ(v[3].get_idx(), 3u);
  face_handle const f0 = m.faces().front().m_self;
  EXPECT_EQ(f0.get_idx(), 0u);
  m.remove_face(f0);
  EXPECT_FALSE(m.is_valid_face_handle(f0));
  EXPECT_FALSE(m.is_valid_face_handle(face_handle()));
  vertex_handle const extra = m.add_vertex(vector3_type(2, 2, 0));
  EXPECT_EQ(extra.get_idx(), 4u);
  face_handle const f2 = m.add_face(std::vector<vertex_handle>{v[0], v[1], extra});
  EXPECT_EQ(f2.get_idx(), 2u);
  // Edges 0 and 1 went with the face; the three new ones continue at 5.
  std::vector<std::uint32_t> edge_ids;
  for (auto const& e : m.edges()) edge_ids.push_back(e.m_self.get_idx());
  EXPECT_EQ(edge_ids, (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(MeshIsValid(m));

  m.clear();
  EXPECT_EQ(m.vertex_size() + m.halfedge_size() + m.edge_size() + m.face_size(), 0u);
  auto w = make_two_triangles(m);
  EXPECT_EQ(w[0].get_idx(), 0u);
  EXPECT_EQ(m.faces().front().m_self.get_idx(), 0u);
  EXPECT_EQ(m.edges().front().m_self.get_idx(), 0u);
  EXPECT_EQ(m.halfedges().front().m_self.get_idx(), 0u);
  EXPECT_TRUE(MeshIsValid(m));
}

TEST(Circulators, VisitEachElementOnce) {
  FoamMesh m;
  auto v = make_hexagon_points(m);
  for (int i = 0; i < 6; ++i) m.add_face(hexagon_triangle(v, i));
  vertex_handle const isolated = m.add_vertex(vector3_type(9, 9, 0));

  // Interior vertex: six outgoing half-edges, each once, each starting at it.
  std::set<halfedge_handle> seen;
  for (FoamMesh::vertex_halfedge_circulator c(m, v[0]); c; ++c) {
    EXPECT_EQ(m.origin(c.handle()), v[0]);
    EXPECT_TRUE(seen.insert(c.handle()).second);
  }
  EXPECT_EQ(seen.size(), 6u);

  // Boundary vertex: starts at its boundary half-edge; three outgoing.
  FoamMesh::vertex_halfedge_circulator b(m, v[1]);
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->m_face.is_null());
  EXPECT_EQ(Quarvel::kordal::valency(m.get_vertex(v[1])), 3u);

  // Isolated vertex: empty.
  EXPECT_FALSE(FoamMesh::vertex_halfedge_circulator(m, isolated));
  EXPECT_FALSE(FoamMesh::face_halfedge_circulator(m, face_handle()));

  // Face circulator in range-for: three half-edges of one loop.
  face_handle const f = m.faces().front().m_self;
  int n = 0;
  for (auto const& h : FoamMesh::face_halfedge_circulator(m, f)) {
    EXPECT_EQ(h.m_face, f);
    ++n;
  }
  EXPECT_EQ(n, 3);
  EXPECT_EQ(Quarvel::kordal::film_count(m.get_face(f)), 3u);
}

TEST(Copy, KeepsLinksAndTakesOwnership) {
  FoamMesh m;
  make_two_triangles(m);
  m.remove_face(m.faces().front().m_self);
  FoamMesh copy(m);
  EXPECT_EQ(fingerprint(copy), fingerprint(m));
  EXPECT_TRUE(MeshIsValid(copy));
  for (auto const& v : copy.vertices()) EXPECT_EQ(v.m_owner, &copy);
  FoamMesh moved(std::move(copy));
  EXPECT_TRUE(MeshIsValid(moved));
}

TEST(Validity, ReportsBrokenLinks) {
  FoamMesh m;
  make_two_triangles(m);
  ASSERT_TRUE(MeshIsValid(m));
  auto& h = m.halfedges().front();
  halfedge_handle const saved = h.m_next;
  h.m_next = h.m_prev;
  std::ostringstream why;
  EXPECT_FALSE(m.is_valid(&why));
  EXPECT_NE(why.str().find("half-edge"), std::string::npos);
  h.m_next = saved;
  EXPECT_TRUE(MeshIsValid(m));

  // A boundary vertex whose outgoing half-edge is not a boundary one.
  for (auto& v : m.vertices()) {
    for (FoamMesh::vertex_halfedge_circulator c(m, v.m_self); c; ++c) {
      if (!c->m_face.is_null()) {
        v.m_outgoing_halfedge = c.handle();
        break;
      }
    }
  }
  EXPECT_FALSE(m.is_valid());
}

}  // namespace
