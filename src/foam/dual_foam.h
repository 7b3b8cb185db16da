#ifndef FROTH_FOAM_DUAL_FOAM_H
#define FROTH_FOAM_DUAL_FOAM_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "foam/foam_geometry.h"
#include "foam/foam_mesh.h"
#include "polymesh/handles.h"

namespace Quarvel {
namespace kordal {

using vector3_type = math::BasicMathTypes::vector3_type;

/// The centre of the circle through p0, p1 and p2 (z = 0). Throws
/// std::logic_error when the three lie on one line.
template <typename Vector>
Vector circumcentre(Vector const& p0, Vector const& p1, Vector const& p2) {
  // Solved relative to p0, without slopes: intersecting the bisectors through
  // their slopes loses every digit when a side is almost, but not exactly,
  // horizontal.
  Vector const a = p1 - p0;
  Vector const b = p2 - p0;
  double const d = 2.0 * (a.x * b.y - a.y * b.x);
  if (d == 0.0) throw std::logic_error("circumcentre(): No common intersection point exist, giving up!");
  double const aa = a.x * a.x + a.y * a.y;
  double const bb = b.x * b.x + b.y * b.y;
  return Vector(p0.x + (b.y * aa - a.y * bb) / d, p0.y + (a.x * bb - b.x * aa) / d, 0.0);
}

/// The circumcentre (z = 0) of a triangular face, its corners taken in loop
/// order from m_border_halfedge. Throws std::logic_error for a face that is
/// not a triangle, and for a flat one (three corners on one line), which has
/// no circumcentre.
template <typename Face>
auto voronoi_vertex_policy(Face const& t) {
  using mesh_type = std::remove_const_t<std::remove_pointer_t<decltype(t.m_owner)>>;
  if (film_count(t) != 3) throw std::logic_error("voronoi_vertex_policy: only triangular faces are allowed");
  mesh_type const& mesh = *t.m_owner;
  polymesh::halfedge_handle const h0 = t.m_border_halfedge;
  polymesh::halfedge_handle const h1 = mesh.get_halfedge(h0).m_next;
  polymesh::halfedge_handle const h2 = mesh.get_halfedge(h1).m_next;
  return circumcentre(mesh.get_vertex(mesh.origin(h0)).m_coord, mesh.get_vertex(mesh.origin(h1)).m_coord,
                      mesh.get_vertex(mesh.origin(h2)).m_coord);
}

/// Replaces the content of dual by the dual of the triangle mesh source: one
/// junction per face (its circumcentre, in face order) and, for every vertex
/// strictly inside the source, one face through the junctions of the
/// triangles around it. Counter-clockwise triangles give clockwise dual faces.
/// Throws std::invalid_argument, before changing anything, when source and
/// dual are the same mesh; the exceptions of voronoi_vertex_policy pass
/// through.
template <typename Mesh>
void compute_dual(Mesh const& source, Mesh& dual) {
  if (&source == &dual) {
    throw std::invalid_argument("kordal::compute_dual(): original and dual meshes must not be the same");
  }
  dual.clear();
  std::vector<polymesh::vertex_handle> table;
  for (auto const& t : source.faces()) {
    polymesh::vertex_handle const v = dual.add_vertex(voronoi_vertex_policy(t));
    std::size_t const idx = t.m_self.get_idx();
    if (idx >= table.size()) table.resize(idx + 1);
    table[idx] = v;
  }
  std::vector<polymesh::vertex_handle> loop;
  for (auto const& u : source.vertices()) {
    // A vertex on the hull (a sector without a face) has an unbounded cell:
    // no bubble. One walk both collects the loop and tests for that.
    bool inner = !u.m_outgoing_halfedge.is_null();
    loop.clear();
    for (typename Mesh::const_vertex_halfedge_circulator c(source, u.m_self); c && inner; ++c) {
      if (c->m_face.is_null()) {
        inner = false;
      } else {
        loop.push_back(table[c->m_face.get_idx()]);
      }
    }
    if (inner && loop.size() > 2) dual.add_face(loop);
  }
}

/// Closes the first open boundary loop (in half-edge list order) with one
/// outer bubble made of the loop's boundary half-edges, so that no film is
/// created; it gets m_is_outer, the given pressure and a tag above every
/// other bubble's. Nothing happens when
/// no half-edge lacks a bubble, and no bubble is added when the kernel
/// refuses the loop (a junction met twice on it).
template <typename Mesh>
void close_open_boundary(Mesh& foam, double pressure) {
  polymesh::halfedge_handle b0;
  for (auto const& h : foam.halfedges()) {
    if (h.m_face.is_null()) {
      b0 = h.m_self;
      break;
    }
  }
  if (b0.is_null()) return;
  // The loop is followed along m_next: the kernel keeps boundary loops closed,
  // so this ends at b0 even where a junction touches the boundary twice.
  std::vector<polymesh::vertex_handle> loop;
  polymesh::halfedge_handle b = b0;
  do {
    loop.push_back(foam.destination(b));
    b = foam.get_halfedge(b).m_next;
  } while (b != b0 && !b.is_null() && loop.size() <= foam.halfedge_size());
  if (b != b0) return;
  std::uint32_t tag = 0;  // a new bubble takes a tag no bubble holds
  for (auto const& bubble : foam.faces()) tag = std::max(tag, bubble.m_tag + 1);
  polymesh::face_handle const f = foam.add_face(loop);
  if (!foam.is_valid_face_handle(f)) return;
  foam.get_face(f).m_tag = tag;
  foam.get_face(f).m_pressure = pressure;
  foam.get_face(f).m_is_outer = true;
}

/// Replaces the content of foam by the foam network of the sites: the dual of
/// their Delaunay triangulation, its border corners repaired so that every
/// junction has three films, junctions that are not three-fold removed;
/// m_film_tension = film_tension, m_outside_pressure = 1; every bubble's
/// m_target_area is its polygon area and its m_pressure is pressure_scale
/// divided by that area; the bubbles are tagged 0, 1, ... in list (creation)
/// order. Sites with fewer than three distinct points, or all
/// on one line, give an empty foam.
/// How generate_foam builds the dual: by a replay on index arrays (fast),
/// falling back to the mesh kernel's triangulation and dual where the replay
/// meets a face it would have to undo; or by the kernel alone.
enum class GenerationPath { replay, kernel };

void generate_foam(FoamMesh& foam, std::vector<vector3_type> const& sites, double pressure_scale,
                   double film_tension, GenerationPath path = GenerationPath::replay);

}  // namespace kordal
}  // namespace Quarvel

#endif
