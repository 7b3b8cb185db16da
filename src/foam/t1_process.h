#ifndef FROTH_FOAM_T1_PROCESS_H
#define FROTH_FOAM_T1_PROCESS_H

// The T1 neighbour swap: a film that has become too short between two
// three-fold junctions is replaced by a film turned a quarter turn, so that
// the two bubbles that shared it stop being neighbours and the two bubbles at
// its ends become neighbours.

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "foam/foam_geometry.h"
#include "foam/foam_traits.h"
#include "polymesh/handles.h"

namespace Quarvel {
namespace kordal {

/// The film between junctions a and b, or the null handle.
template <typename Mesh>
polymesh::edge_handle film_between(Mesh const& mesh, polymesh::vertex_handle a, polymesh::vertex_handle b) {
  polymesh::halfedge_handle const h = mesh.find_halfedge(a, b);
  return h.is_null() ? polymesh::edge_handle() : mesh.get_halfedge(h).m_edge;
}

/// The outgoing border of v from which bubble circulations start: the first
/// one from m_outgoing_halfedge on that has a bubble (null if none has).
template <typename Mesh>
polymesh::halfedge_handle first_outgoing_with_bubble(Mesh const& mesh, polymesh::vertex_handle v) {
  for (typename Mesh::const_vertex_halfedge_circulator c(mesh, v); c; ++c) {
    if (!c->m_face.is_null()) return c.handle();
  }
  return polymesh::halfedge_handle();
}

/// Number of steps from the first outgoing border with a bubble back to
/// m_outgoing_halfedge: the number of films when m_outgoing_halfedge has a
/// bubble, fewer on an open border.
template <typename Mesh>
unsigned bubble_circulation_length(Mesh const& mesh, polymesh::vertex_handle v) {
  polymesh::halfedge_handle const start = first_outgoing_with_bubble(mesh, v);
  if (start.is_null()) return 0;
  polymesh::halfedge_handle const stop = mesh.get_vertex(v).m_outgoing_halfedge;
  unsigned n = 0;
  polymesh::halfedge_handle h = start;
  do {
    ++n;
    h = mesh.get_halfedge(mesh.twin(h)).m_next;
  } while (h != stop && !h.is_null() && n <= mesh.halfedge_size());
  return n;
}

/// Both ends of the film are three-fold junctions (counted from the first
/// outgoing border with a bubble, so a junction on an open border fails).
template <typename Mesh>
bool has_threefold_ends(Mesh const& mesh, polymesh::edge_handle film) {
  auto const& e = mesh.get_edge(film);
  polymesh::vertex_handle const u = mesh.get_halfedge(e.m_halfedge1).m_destination;
  polymesh::vertex_handle const v = mesh.get_halfedge(e.m_halfedge0).m_destination;
  return bubble_circulation_length(mesh, u) == 3 && bubble_circulation_length(mesh, v) == 3;
}

/// The T1 threshold test: a film not made by a T1 in this loop, bordered by a
/// bubble on both sides (never on an open border), no longer than the
/// threshold, and with more than three films in both of its bubbles.
template <typename Mesh>
bool is_t1_candidate(Mesh const& mesh, polymesh::edge_handle film, double threshold) {
  auto const& e = mesh.get_edge(film);
  if (e.m_created_by_t1) return false;
  auto const& h0 = mesh.get_halfedge(e.m_halfedge0);
  auto const& h1 = mesh.get_halfedge(e.m_halfedge1);
  if (h0.m_face.is_null() || h1.m_face.is_null()) return false;
  auto const d = mesh.get_vertex(h0.m_destination).m_coord - mesh.get_vertex(h1.m_destination).m_coord;
  if (threshold * threshold < dot(d, d)) return false;
  return film_count(mesh.get_face(h0.m_face)) > 3 && film_count(mesh.get_face(h1.m_face)) > 3;
}

/// The four bubbles of a T1 on a film: B0 and B1 beside it, EU and EV at its
/// ends U (origin of m_halfedge0) and V.
struct T1Bubbles {
  polymesh::face_handle b0, b1, eu, ev;
};

/// The first bubble around v, from the first outgoing border with a bubble,
/// that is neither a nor b.
template <typename Mesh>
polymesh::face_handle third_bubble(Mesh const& mesh, polymesh::vertex_handle v, polymesh::face_handle a,
                                   polymesh::face_handle b) {
  polymesh::halfedge_handle const start = first_outgoing_with_bubble(mesh, v);
  if (start.is_null()) return polymesh::face_handle();
  polymesh::halfedge_handle h = start;
  std::size_t steps = 0;
  do {
    polymesh::face_handle const f = mesh.get_halfedge(h).m_face;
    if (!f.is_null() && f != a && f != b) return f;
    h = mesh.get_halfedge(mesh.twin(h)).m_next;
  } while (h != start && !h.is_null() && ++steps <= mesh.halfedge_size());
  return polymesh::face_handle();
}

template <typename Mesh>
T1Bubbles t1_bubbles(Mesh const& mesh, polymesh::edge_handle film) {
  auto const& e = mesh.get_edge(film);
  auto const& h0 = mesh.get_halfedge(e.m_halfedge0);
  auto const& h1 = mesh.get_halfedge(e.m_halfedge1);
  T1Bubbles t{h0.m_face, h1.m_face, {}, {}};
  t.eu = third_bubble(mesh, h1.m_destination, t.b0, t.b1);
  t.ev = third_bubble(mesh, h0.m_destination, t.b0, t.b1);
  return t;
}

template <typename Mesh>
bool t1_keeps_bubbles_sound(Mesh const& mesh, polymesh::edge_handle film);

/// The topological conditions under which rewire_t1 gives a valid foam: both
/// ends three-fold with a bubble on every side, and four distinct bubbles
/// around the film. Where EU and EV are one bubble (the film spans the foam
/// from border to border), the swap would cut the foam in two.
template <typename Mesh>
bool t1_topology_allows(Mesh const& mesh, polymesh::edge_handle film) {
  auto const& e = mesh.get_edge(film);
  for (polymesh::vertex_handle end :
       {mesh.get_halfedge(e.m_halfedge0).m_destination, mesh.get_halfedge(e.m_halfedge1).m_destination}) {
    if (valency(mesh.get_vertex(end)) != 3 || is_boundary(mesh.get_vertex(end))) return false;
  }
  T1Bubbles const t = t1_bubbles(mesh, film);
  if (t.b0.is_null() || t.b1.is_null() || t.eu.is_null() || t.ev.is_null()) return false;
  return t.b0 != t.b1 && t.eu != t.ev;
}

/// Whether rewire_t1 gives a valid foam here and now: the topology allows
/// the swap and every bubble around the film is still clockwise afterwards.
template <typename Mesh>
bool can_rewire_t1(Mesh const& mesh, polymesh::edge_handle film) {
  return t1_topology_allows(mesh, film) && t1_keeps_bubbles_sound(mesh, film);
}

/// Replaces a bubble by a new one whose loop is the given junctions, keeping
/// its bubble data. An invalid handle does nothing. Returns the new handle
/// (null if the mesh refused the loop).
template <typename Mesh, typename Loop>
polymesh::face_handle rebuild_bubble(Mesh& mesh, polymesh::face_handle bubble, Loop const& loop) {
  if (!mesh.is_valid_face_handle(bubble)) return polymesh::face_handle();
  using traits_type = BubbleTraits<typename Mesh::math_types>;
  traits_type const saved = static_cast<traits_type const&>(mesh.get_face(bubble));
  mesh.remove_face(bubble);
  polymesh::face_handle const f = mesh.add_face(loop.begin(), loop.end());
  if (!f.is_null()) static_cast<traits_type&>(mesh.get_face(f)) = saved;
  return f;
}

/// The two junctions of the turned film: N0 on B0's side of the old film U-V,
/// N1 on B1's side; same length, same midpoint, at right angles.
template <typename Mesh>
std::pair<polymesh::vertex_handle, polymesh::vertex_handle> t1_junction_positions(Mesh& mesh,
                                                                                    polymesh::vertex_handle u,
                                                                                    polymesh::vertex_handle v) {
  auto const U = mesh.get_vertex(u).m_coord;
  auto const V = mesh.get_vertex(v).m_coord;
  auto const r = (V - U) * 0.5;
  auto const m = U + r;
  typename Mesh::vector3_type const s(r.y, -r.x, 0);
  polymesh::vertex_handle const n0 = mesh.add_vertex(m + s);
  polymesh::vertex_handle const n1 = mesh.add_vertex(m - s);
  return {n0, n1};
}

/// Signed area of the polygon through the given positions: positive for a
/// clockwise loop, as bubble loops run.
template <typename Vector>
double clockwise_polygon_area(std::vector<Vector> const& points) {
  double area = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    Vector const& a = points[i];
    Vector const& b = points[(i + 1) % points.size()];
    area += b.x * a.y - a.x * b.y;
  }
  return 0.5 * area;
}

/// The loops of B0, B1, EU and EV after a swap on the film that makes the
/// junctions n0 and n1: in B0 and B1 the film's two junctions become one new
/// junction; in EU, U becomes (n1, n0), and in EV, V becomes (n0, n1).
template <typename Mesh>
void t1_loops(Mesh const& mesh, polymesh::edge_handle film, polymesh::vertex_handle n0, polymesh::vertex_handle n1,
              std::vector<polymesh::vertex_handle> (&loops)[4]) {
  using polymesh::vertex_handle;
  auto const& e = mesh.get_edge(film);
  vertex_handle const U = mesh.get_halfedge(e.m_halfedge1).m_destination;
  vertex_handle const V = mesh.get_halfedge(e.m_halfedge0).m_destination;
  T1Bubbles const t = t1_bubbles(mesh, film);
  for (auto& loop : loops) loop.clear();
  auto side_loop = [&](polymesh::face_handle f, std::vector<vertex_handle>& loop) {
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
      vertex_handle const a = mesh.origin(c.handle());
      vertex_handle const b = c->m_destination;
      if (a == U && b == V) {
        loop.push_back(n0);
      } else if (a == V && b == U) {
        loop.push_back(n1);
      } else if (a != U && a != V) {
        loop.push_back(a);
      }
    }
  };
  auto end_loop = [&](polymesh::face_handle f, std::vector<vertex_handle>& loop) {
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f); c; ++c) {
      vertex_handle const a = mesh.origin(c.handle());
      if (a == U) {
        loop.push_back(n1);
        loop.push_back(n0);
      } else if (a == V) {
        loop.push_back(n0);
        loop.push_back(n1);
      } else {
        loop.push_back(a);
      }
    }
  };
  side_loop(t.b0, loops[0]);
  side_loop(t.b1, loops[1]);
  end_loop(t.eu, loops[2]);
  end_loop(t.ev, loops[3]);
}

/// The area that one of the four bubbles around the film would have after
/// the swap: of its polygon, or with its films curved by the pressures
/// across them. NaN for any other bubble.
template <typename Mesh>
double t1_area_after(Mesh const& mesh, polymesh::edge_handle film, polymesh::face_handle bubble, bool curved) {
  using polymesh::face_handle;
  using polymesh::vertex_handle;
  using vector3_type = typename Mesh::vector3_type;
  auto const& e = mesh.get_edge(film);
  vertex_handle const u = mesh.get_halfedge(e.m_halfedge1).m_destination;
  vertex_handle const v = mesh.get_halfedge(e.m_halfedge0).m_destination;
  auto const U = mesh.get_vertex(u).m_coord;
  auto const V = mesh.get_vertex(v).m_coord;
  auto const r = (V - U) * 0.5;
  auto const m = U + r;
  vector3_type const s(r.y, -r.x, 0);
  // Stand-in handles for the junctions not made yet.
  vertex_handle const n0(vertex_handle::null_index - 1), n1(vertex_handle::null_index - 2);
  std::vector<vertex_handle> loops[4];
  t1_loops(mesh, film, n0, n1, loops);
  T1Bubbles const t = t1_bubbles(mesh, film);
  face_handle const bubbles[4] = {t.b0, t.b1, t.eu, t.ev};
  int i = 0;
  while (i < 4 && bubbles[i] != bubble) ++i;
  if (i == 4) return std::numeric_limits<double>::quiet_NaN();
  auto is_new = [&](vertex_handle a) { return a == n0 || a == n1; };
  // The bubble across the film a-b after the swap. The new film lies between
  // EU and EV; a film from a new junction to an old one x was the film from
  // U or V to x, and keeps its two bubbles.
  auto across = [&](vertex_handle a, vertex_handle b) {
    if (is_new(a) && is_new(b)) return bubble == t.eu ? t.ev : t.eu;
    polymesh::halfedge_handle h;
    if (!is_new(a) && !is_new(b)) {
      h = mesh.find_halfedge(a, b);
    } else {
      vertex_handle const x = is_new(a) ? b : a;
      for (vertex_handle end : {u, v}) {
        polymesh::halfedge_handle const g = mesh.find_halfedge(x, end);
        if (!g.is_null() && (mesh.get_halfedge(g).m_face == bubble || mesh.get_halfedge(mesh.twin(g)).m_face == bubble)) {
          h = g;
        }
      }
    }
    if (h.is_null()) return face_handle();
    face_handle const left = mesh.get_halfedge(h).m_face;
    return left == bubble ? mesh.get_halfedge(mesh.twin(h)).m_face : left;
  };
  auto const& f = mesh.get_face(bubble);
  std::vector<vertex_handle> const& loop = loops[i];
  std::vector<std::pair<vector3_type, double>> corners;
  for (std::size_t k = 0; k < loop.size(); ++k) {
    vertex_handle const a = loop[k];
    vector3_type const P = a == n0 ? m + s : a == n1 ? m - s : mesh.get_vertex(a).m_coord;
    double p = f.m_pressure;  // straight unless curved
    if (curved) {
      face_handle const other = across(a, loop[(k + 1) % loop.size()]);
      if (!other.is_null()) p = mesh.get_face(other).m_pressure;
    }
    corners.push_back({P, p});
  }
  return curved_loop_area(mesh, f, corners);
}

/// Whether the swap leaves every bubble around the film (the outer one aside)
/// a clockwise polygon whose area, its films curved by the pressures across
/// them, is not negative (or, for a bubble already inside out, not smaller).
/// Next to a bubble thinner than half the film, the new junction would land
/// beyond it; and a new film that is long next to a short one bulges far
/// enough to turn a small bubble inside out.
template <typename Mesh>
bool t1_keeps_bubbles_sound(Mesh const& mesh, polymesh::edge_handle film) {
  T1Bubbles const t = t1_bubbles(mesh, film);
  for (polymesh::face_handle f : {t.b0, t.b1, t.eu, t.ev}) {
    auto const& bubble = mesh.get_face(f);
    if (bubble.m_is_outer) continue;
    if (!(t1_area_after(mesh, film, f, false) > 0.0)) return false;
    if (!(t1_area_after(mesh, film, f, true) >= std::min(0.0, compute_area(bubble)))) return false;
  }
  return true;
}

/// Performs the neighbour swap on a film without any test (callers check
/// can_rewire_t1) and returns the new film.
template <typename Mesh>
polymesh::edge_handle rewire_t1(Mesh& mesh, polymesh::edge_handle film) {
  using polymesh::vertex_handle;
  auto const& e = mesh.get_edge(film);
  vertex_handle const U = mesh.get_halfedge(e.m_halfedge1).m_destination;
  vertex_handle const V = mesh.get_halfedge(e.m_halfedge0).m_destination;
  T1Bubbles const t = t1_bubbles(mesh, film);
  auto const [N0, N1] = t1_junction_positions(mesh, U, V);
  std::vector<vertex_handle> loops[4];
  t1_loops(mesh, film, N0, N1, loops);
  rebuild_bubble(mesh, t.b0, loops[0]);
  rebuild_bubble(mesh, t.b1, loops[1]);
  rebuild_bubble(mesh, t.eu, loops[2]);
  rebuild_bubble(mesh, t.ev, loops[3]);
  if (mesh.is_valid_vertex_handle(U)) mesh.remove_vertex(U);
  if (mesh.is_valid_vertex_handle(V)) mesh.remove_vertex(V);
  return film_between(mesh, N0, N1);
}

}  // namespace kordal
}  // namespace Quarvel

#endif
