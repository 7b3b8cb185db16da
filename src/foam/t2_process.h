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

/// The mean of the pressures across the bubble's films.
template <typename Mesh>
double neighbour_mean_pressure(Mesh const& mesh, polymesh::face_handle bubble) {
  double sum = 0.0;
  double n = 0.0;
  for (typename Mesh::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    sum += pressure_across_border(mesh, c.handle());
    n += 1.0;
  }
  return n > 0.0 ? sum / n : mesh.get_face(bubble).m_pressure;
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
      corners.push_back({a == o ? K : mesh.get_vertex(a).m_coord, pressure_across_border(mesh, h.handle())});
    }
    if (!(curved_loop_area(mesh, neighbour, corners) >= std::min(0.0, compute_area(neighbour)))) return false;
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

/// Two three-sided bubbles B and H that share the film P-Q, and what lies
/// around them. R is H's third corner and T is B's; each has one film
/// leading away, R-S and T-U. Seen from outside, the pair is a lens between
/// the two bubbles X and Y that border both of those films.
struct ThreeSidedPair {
  polymesh::face_handle b, h, x, y;
  polymesh::vertex_handle p, q, r, t, s, u;
};

/// The pair around the shared border `shared` (P -> Q, in B). Handles that
/// the neighbourhood does not provide are left null.
template <typename Mesh>
ThreeSidedPair three_sided_pair(Mesh const& mesh, polymesh::halfedge_handle shared) {
  ThreeSidedPair pair;
  pair.b = mesh.get_halfedge(shared).m_face;
  pair.h = mesh.get_halfedge(mesh.twin(shared)).m_face;
  pair.p = mesh.origin(shared);
  pair.q = mesh.get_halfedge(shared).m_destination;
  auto third_corner = [&](polymesh::face_handle f) {
    polymesh::vertex_handle corner;
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
      polymesh::vertex_handle const a = mesh.origin(c.handle());
      if (a != pair.p && a != pair.q) corner = a;
    }
    return corner;
  };
  // The film of a corner that borders neither bubble of the pair.
  auto film_away = [&](polymesh::vertex_handle corner) {
    for (typename Mesh::const_vertex_halfedge_circulator c(mesh, corner); c; ++c) {
      polymesh::face_handle const left = c->m_face;
      polymesh::face_handle const right = mesh.get_halfedge(c->m_twin).m_face;
      if (left != pair.b && left != pair.h && right != pair.b && right != pair.h) return c.handle();
    }
    return polymesh::halfedge_handle();
  };
  pair.r = third_corner(pair.h);
  pair.t = third_corner(pair.b);
  if (pair.r.is_null() || pair.t.is_null()) return pair;
  polymesh::halfedge_handle const rs = film_away(pair.r);
  polymesh::halfedge_handle const tu = film_away(pair.t);
  if (rs.is_null() || tu.is_null()) return pair;
  pair.s = mesh.get_halfedge(rs).m_destination;
  pair.u = mesh.get_halfedge(tu).m_destination;
  pair.x = mesh.get_halfedge(rs).m_face;
  pair.y = mesh.get_halfedge(mesh.twin(rs)).m_face;
  return pair;
}

/// The loop of X or Y once the lens is gone: its corners R, P or Q, and T
/// are left out, so that S and U follow each other.
template <typename Mesh>
void lens_removed_loop(Mesh const& mesh, ThreeSidedPair const& pair, polymesh::face_handle f,
                       std::vector<polymesh::vertex_handle>& loop) {
  loop.clear();
  for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
    polymesh::vertex_handle const a = mesh.origin(c.handle());
    if (a != pair.p && a != pair.q && a != pair.r && a != pair.t) loop.push_back(a);
  }
}

/// Whether the pair can vanish together: X and Y are two distinct bubbles on
/// both films that lead away, each keeps at least three films once it loses
/// three (its films along the lens become the one film S-U), S and U are not
/// yet joined, and neither X nor Y (the outer one aside) turns inside out.
template <typename Mesh>
bool can_collapse_pair(Mesh const& mesh, ThreeSidedPair const& pair) {
  using vector3_type = typename Mesh::vector3_type;
  if (pair.x.is_null() || pair.y.is_null() || pair.x == pair.y || pair.r == pair.t || pair.s == pair.u) return false;
  if (pair.x == pair.b || pair.x == pair.h || pair.y == pair.b || pair.y == pair.h) return false;
  polymesh::halfedge_handle const tu = mesh.find_halfedge(pair.t, pair.u);
  if (tu.is_null()) return false;
  polymesh::face_handle const left = mesh.get_halfedge(tu).m_face;
  polymesh::face_handle const right = mesh.get_halfedge(mesh.twin(tu)).m_face;
  if (!((left == pair.x && right == pair.y) || (left == pair.y && right == pair.x))) return false;
  if (!mesh.find_halfedge(pair.s, pair.u).is_null()) return false;
  std::vector<std::pair<vector3_type, double>> corners;
  for (polymesh::face_handle f : {pair.x, pair.y}) {
    auto const& bubble = mesh.get_face(f);
    if (film_count(bubble) < 6) return false;
    if (bubble.m_is_outer) continue;
    corners.clear();
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
      polymesh::vertex_handle const a = mesh.origin(c.handle());
      if (a == pair.p || a == pair.q || a == pair.r || a == pair.t) continue;
      // S's and U's border along the lens leads to R or T, across from the
      // other bubble, as the new film S-U will.
      corners.push_back({mesh.get_vertex(a).m_coord, pressure_across_border(mesh, c.handle())});
    }
    if (!(curved_loop_area(mesh, bubble, corners) >= std::min(0.0, compute_area(bubble)))) return false;
  }
  return true;
}

/// Removes both bubbles of the pair and its four junctions; the films R-S and
/// T-U become the one film S-U. Callers check can_collapse_pair.
template <typename Mesh>
void collapse_pair(Mesh& mesh, ThreeSidedPair const& pair) {
  std::vector<polymesh::vertex_handle> loop;
  lens_removed_loop(mesh, pair, pair.x, loop);
  rebuild_bubble(mesh, pair.x, loop);
  lens_removed_loop(mesh, pair, pair.y, loop);
  rebuild_bubble(mesh, pair.y, loop);
  mesh.remove_face(pair.b);
  mesh.remove_face(pair.h);
  for (polymesh::vertex_handle v : {pair.p, pair.q, pair.r, pair.t}) {
    if (mesh.is_valid_vertex_handle(v)) mesh.remove_vertex(v);
  }
}

}  // namespace kordal
}  // namespace Quarvel

#endif
