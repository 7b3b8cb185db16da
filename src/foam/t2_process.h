#ifndef FROTH_FOAM_T2_PROCESS_H
#define FROTH_FOAM_T2_PROCESS_H

// The T2 event: a three-sided bubble that has become too small shrinks to a
// point, and its three junctions merge into one.

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "foam/foam_geometry.h"
#include "foam/t1_process.h"
#include "polymesh/handles.h"

namespace Quarvel {
namespace kordal {

/// Every film of the bubble has a bubble on its other side: it touches no
/// open border.
template <typename Mesh>
bool is_enclosed_bubble(Mesh const& mesh, polymesh::face_handle bubble) {
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    if (!mesh.is_valid_halfedge_handle(c->m_twin)) return false;
    if (!mesh.is_valid_face_handle(mesh.get_halfedge(c->m_twin).m_face)) return false;
  }
  return true;
}

/// The bubble's border whose film is shortest; ties go to the first met.
template <typename Mesh>
polymesh::halfedge_handle shortest_film(Mesh const& mesh, polymesh::face_handle bubble) {
  double best = std::numeric_limits<double>::max();
  polymesh::halfedge_handle shortest;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    auto const d = mesh.get_vertex(c->m_destination).m_coord - mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    double const l2 = dot(d, d);
    if (l2 < best) {
      best = l2;
      shortest = c.handle();
    }
  }
  return shortest;
}

/// A new junction at the mean of the bubble's corners.
template <typename Mesh>
polymesh::vertex_handle collapse_junction(Mesh& mesh, polymesh::face_handle bubble) {
  typename Mesh::vector3_type sum{};
  double n = 0;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    sum += mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    n += 1;
  }
  return mesh.add_vertex(n > 0 ? sum / n : sum);
}

/// The loop of neighbour N once the bubble's border o -> d is gone: d
/// becomes K and o is left out.
template <typename Mesh>
void collapsed_neighbour_loop(Mesh const& mesh, polymesh::face_handle N, polymesh::vertex_handle o,
                              polymesh::vertex_handle d, polymesh::vertex_handle K,
                              std::vector<polymesh::vertex_handle>& loop) {
  loop.clear();
  for (typename Mesh::const_face_halfedge_circulator c(mesh, N); c; ++c) {
    polymesh::vertex_handle const a = mesh.origin(c.handle());
    if (a == d) {
      loop.push_back(K);
    } else if (a != o) {
      loop.push_back(a);
    }
  }
}

/// Whether collapsing the bubble into the mean of its corners leaves every
/// neighbour (the outer one aside) with a positive area, its films curved by
/// the pressures across them. A long, thin bubble has its mean far from its
/// corners: the neighbours' new films would be long, and a long film between
/// different pressures bulges far enough to turn a bubble inside out.
template <typename Mesh>
bool collapse_keeps_neighbours_sound(Mesh const& mesh, polymesh::face_handle bubble) {
  using vector3_type = typename Mesh::vector3_type;
  vector3_type K{};
  double n = 0;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    K += mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    n += 1;
  }
  K /= n;
  std::vector<std::pair<vector3_type, double>> corners;  // corner, pressure across the film that leaves it
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    polymesh::face_handle const N = mesh.get_halfedge(c->m_twin).m_face;
    if (N.is_null() || mesh.get_face(N).m_is_outer) continue;
    auto const& neighbour = mesh.get_face(N);
    polymesh::vertex_handle const o = mesh.origin(c.handle());
    polymesh::vertex_handle const d = c->m_destination;
    // N runs ..., X, d, o, Y, ... and will run ..., X, K, Y, ...; the new
    // films X-K and K-Y separate N from the bubbles that X-d and o-Y did.
    corners.clear();
    for (typename Mesh::const_face_halfedge_circulator h(mesh, N); h; ++h) {
      polymesh::vertex_handle const a = mesh.origin(h.handle());
      if (a == d) continue;
      polymesh::face_handle const across = mesh.get_halfedge(h->m_twin).m_face;
      double const p = across.is_null() ? neighbour.m_pressure : mesh.get_face(across).m_pressure;
      corners.push_back({a == o ? K : mesh.get_vertex(a).m_coord, p});
    }
    double area = 0.0;
    for (std::size_t i = 0; i < corners.size(); ++i) {
      vector3_type const& P = corners[i].first;
      vector3_type const& Q = corners[(i + 1) % corners.size()].first;
      area += 0.5 * (Q.x * P.y - P.x * Q.y);
      area += film_arc(P, Q, neighbour.m_pressure, corners[i].second, mesh.m_film_tension).m_segment_area;
    }
    if (!(area >= std::min(0.0, compute_area(neighbour)))) return false;
  }
  return true;
}

/// Removes a three-sided bubble and returns the junction that replaces it.
/// Each neighbour loses one junction and one film: where it ran ..., X, d, o,
/// Y, ... it now runs ..., X, K, Y, .... Callers make sure that every
/// neighbour has more than three films, so that none is left with two.
template <typename Mesh>
polymesh::vertex_handle collapse_bubble(Mesh& mesh, polymesh::face_handle bubble) {
  using polymesh::vertex_handle;
  vertex_handle const K = collapse_junction(mesh, bubble);
  std::vector<vertex_handle> corners;
  std::vector<polymesh::halfedge_handle> borders;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    corners.push_back(mesh.origin(c.handle()));
    borders.push_back(c.handle());
  }
  std::vector<vertex_handle> loop;
  for (polymesh::halfedge_handle e : borders) {
    vertex_handle const o = mesh.origin(e);
    vertex_handle const d = mesh.get_halfedge(e).m_destination;
    polymesh::face_handle const N = mesh.get_halfedge(mesh.twin(e)).m_face;
    if (!mesh.is_valid_face_handle(N)) continue;
    collapsed_neighbour_loop(mesh, N, o, d, K, loop);
    if (loop.size() >= 3) {
      rebuild_bubble(mesh, N, loop);
    } else {
      mesh.remove_face(N);
    }
  }
  if (mesh.is_valid_face_handle(bubble)) mesh.remove_face(bubble);
  for (vertex_handle v : corners) {
    if (mesh.is_valid_vertex_handle(v)) mesh.remove_vertex(v);
  }
  return K;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
