#ifndef FROTH_TESTS_POLYMESH_MESH_BUILDERS_H
#define FROTH_TESTS_POLYMESH_MESH_BUILDERS_H

// Canonical small meshes shared by the tests.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "foam/foam_geometry.h"
#include "foam/foam_mesh.h"

namespace froth_test {

using Quarvel::kordal::FoamMesh;
using vector3_type = FoamMesh::vector3_type;
using vertex_handle = FoamMesh::vertex_handle;
using halfedge_handle = FoamMesh::halfedge_handle;
using edge_handle = FoamMesh::edge_handle;
using face_handle = FoamMesh::face_handle;

/// gtest predicate: the mesh passes its validity checker; the reason otherwise.
inline ::testing::AssertionResult MeshIsValid(FoamMesh const& mesh) {
  std::ostringstream why;
  if (mesh.is_valid(&why)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why.str();
}

/// Every record's handle and links and every position, doubles to the bit;
/// with values also every bubble's pressure, target area, tag and flag and the
/// handle tables' sizes. Equal meshes give equal strings.
inline std::string mesh_records(FoamMesh const& m, bool values = true) {
  std::ostringstream s;
  s << std::hexfloat;
  for (auto const& v : m.vertices()) s << 'v' << v.m_self << ':' << v.m_outgoing_halfedge << ',' << v.m_coord << ' ';
  for (auto const& h : m.halfedges()) {
    s << 'h' << h.m_self << ':' << h.m_next << ',' << h.m_prev << ',' << h.m_face << ',' << h.m_twin << ','
      << h.m_destination << ',' << h.m_edge << ' ';
  }
  for (auto const& e : m.edges()) s << 'e' << e.m_self << ':' << e.m_halfedge0 << ',' << e.m_halfedge1 << ' ';
  for (auto const& f : m.faces()) {
    s << 'f' << f.m_self << ':' << f.m_border_halfedge << ' ';
    if (values) s << f.m_pressure << ',' << f.m_target_area << ',' << f.m_tag << ',' << f.m_is_outer << ' ';
  }
  if (!values) return s.str();
  s << m.kernel().vertex_handle_table().size() << ',' << m.kernel().halfedge_handle_table().size() << ','
    << m.kernel().edge_handle_table().size() << ',' << m.kernel().face_handle_table().size();
  return s.str();
}

/// Adds the vertices at the given (x, y) positions; returns their handles.
inline std::vector<vertex_handle> add_points(FoamMesh& mesh, std::vector<std::pair<double, double>> const& xy) {
  std::vector<vertex_handle> v;
  for (auto const& p : xy) v.push_back(mesh.add_vertex(vector3_type(p.first, p.second, 0)));
  return v;
}

/// Two counter-clockwise triangles, (0, 1, 2) and (0, 2, 3), on the unit
/// square's corners 0 = (0, 0), 1 = (1, 0), 2 = (1, 1), 3 = (0, 1), sharing
/// the edge 0-2.
inline std::vector<vertex_handle> make_two_triangles(FoamMesh& mesh) {
  auto v = add_points(mesh, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  mesh.add_face(std::vector<vertex_handle>{v[0], v[1], v[2]});
  mesh.add_face(std::vector<vertex_handle>{v[0], v[2], v[3]});
  return v;
}

/// Centre vertex 0 and ring vertices 1..6 of a regular hexagon (vertex i at
/// angle (i - 1) 60 degrees); the faces are the counter-clockwise triangles
/// (0, i, i+1), not added here.
inline std::vector<vertex_handle> make_hexagon_points(FoamMesh& mesh) {
  std::vector<std::pair<double, double>> xy{{0, 0}};
  for (int i = 0; i < 6; ++i) xy.push_back({std::cos(i * M_PI / 3), std::sin(i * M_PI / 3)});
  return add_points(mesh, xy);
}

inline std::vector<vertex_handle> hexagon_triangle(std::vector<vertex_handle> const& v, int i) {
  return {v[0], v[1 + i], v[1 + (i + 1) % 6]};
}

}  // namespace froth_test

#endif
