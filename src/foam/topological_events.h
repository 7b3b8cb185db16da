#ifndef FROTH_FOAM_TOPOLOGICAL_EVENTS_H
#define FROTH_FOAM_TOPOLOGICAL_EVENTS_H

// The junction-centred entry points of the T1 and T2 events.
//
// Every event keeps the foam a closed trivalent foam whose bubbles all have
// three films or more: a forced T1 is not made when a bubble beside the film
// would be left with two, and a three-sided bubble is not collapsed while a
// neighbour has three films (the pair is reshaped first, from its smaller
// member).

#include <algorithm>
#include <ostream>
#include <utility>
#include <vector>

#include "foam/foam2d_simulator.h"
#include "foam/t1_process.h"
#include "foam/t2_process.h"

namespace Quarvel {
namespace kordal {

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::perform_t1(vertex_handle junction, unsigned const& max_iterations,
                                                         double const& tau) {
  M& mesh = *m_mesh;
  edge_handle film;
  for (typename M::const_vertex_halfedge_circulator c(mesh, junction); c; ++c) {
    edge_handle const e = c->m_edge;
    if (has_threefold_ends(mesh, e) && is_t1_candidate(mesh, e, m_t1_threshold) && can_rewire_t1(mesh, e) &&
        !beside_vanishing_bubble(e)) {
      film = e;
      break;
    }
  }
  if (film.is_null()) return false;
  index_type const id = junction.get_idx();
  edge_handle const created = rewire_t1(mesh, film);
  ++m_t1_count;
  finish_forced_t1(created, max_iterations, tau);
  if (m_verbose) {
    (*m_log) << "- T1 for junction [handleID: " << id << "] was handled - new junction [handleID: "
              << mesh.get_halfedge(mesh.get_edge(created).m_halfedge0).m_destination.get_idx() << "]" << std::endl;
  }
  return true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
void Foam2DSimulator<M, P1, P2, P3, P4, P5>::finish_forced_t1(edge_handle created, unsigned const& max_iterations,
                                                               double const& tau) {
  M& mesh = *m_mesh;
  vertex_handle const n0 = mesh.get_halfedge(mesh.get_edge(created).m_halfedge0).m_destination;
  vertex_handle const n1 = mesh.get_halfedge(mesh.get_edge(created).m_halfedge1).m_destination;
  equilibrate(n0, max_iterations, tau);
  equilibrate(n1, max_iterations, tau);
  mesh.get_edge(created).m_created_by_t1 = true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::beside_vanishing_bubble(edge_handle film) const {
  M const& mesh = *m_mesh;
  auto const& e = mesh.get_edge(film);
  for (halfedge_handle h : {e.m_halfedge0, e.m_halfedge1}) {
    auto const& f = mesh.get_face(mesh.get_halfedge(h).m_face);
    if (!f.m_is_outer && m_t2_threshold >= f.m_target_area) return true;
  }
  return false;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::can_force_t1(edge_handle film, bool check_geometry) const {
  M const& mesh = *m_mesh;
  if (!t1_topology_allows(mesh, film)) return false;
  auto const& e = mesh.get_edge(film);
  return film_count(mesh.get_face(mesh.get_halfedge(e.m_halfedge0).m_face)) > 3 &&
         film_count(mesh.get_face(mesh.get_halfedge(e.m_halfedge1).m_face)) > 3 &&
         (!check_geometry || t1_keeps_bubbles_sound(mesh, film));
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
typename Foam2DSimulator<M, P1, P2, P3, P4, P5>::edge_handle
Foam2DSimulator<M, P1, P2, P3, P4, P5>::shortest_swappable_film(face_handle bubble) const {
  M const& mesh = *m_mesh;
  // Squared lengths, films in loop order; a stable sort keeps ties in it.
  std::vector<std::pair<double, edge_handle>> films;
  for (typename M::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    auto const d = mesh.get_vertex(c->m_destination).m_coord - mesh.get_vertex(mesh.origin(c.handle())).m_coord;
    films.push_back({dot(d, d), c->m_edge});
  }
  std::stable_sort(films.begin(), films.end(), [](auto const& a, auto const& b) { return a.first < b.first; });
  for (auto const& film : films) {
    if (can_force_t1(film.second) && t1_area_after(mesh, film.second, bubble, true) >= 0.0) return film.second;
  }
  return edge_handle();
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
void Foam2DSimulator<M, P1, P2, P3, P4, P5>::guard_area(face_handle bubble) {
  if (bubble.is_null() || m_mesh->get_face(bubble).m_is_outer) return;
  for (auto const& g : m_guarded) {
    if (g.first == bubble) return;
  }
  m_guarded.push_back({bubble, std::min(0.0, compute_area(m_mesh->get_face(bubble)))});
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::guarded_areas_hold() const {
  for (auto const& g : m_guarded) {
    if (!(compute_area(m_mesh->get_face(g.first)) >= g.second)) return false;
  }
  return true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::qualifies_for_t2(face_handle bubble) const {
  M const& mesh = *m_mesh;
  auto const& b = mesh.get_face(bubble);
  if (b.m_is_outer || !is_enclosed_bubble(mesh, bubble)) return false;
  return film_count(b) < 3 || m_t2_threshold >= b.m_target_area;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
typename Foam2DSimulator<M, P1, P2, P3, P4, P5>::face_handle Foam2DSimulator<M, P1, P2, P3, P4, P5>::side_bubble(
    edge_handle created, bool first_side) const {
  M const& mesh = *m_mesh;
  auto const& e = mesh.get_edge(created);
  // Of the three bubbles at an end of the new film, the one that the film
  // does not border lies on the side of the old film.
  vertex_handle const n = mesh.get_halfedge(first_side ? e.m_halfedge0 : e.m_halfedge1).m_destination;
  face_handle const a = mesh.get_halfedge(e.m_halfedge0).m_face;
  face_handle const b = mesh.get_halfedge(e.m_halfedge1).m_face;
  for (typename M::const_vertex_halfedge_circulator c(mesh, n); c; ++c) {
    if (c->m_face != a && c->m_face != b) return c->m_face;
  }
  return face_handle();
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::perform_t2(vertex_handle junction, unsigned const& max_iterations,
                                                         double const& tau) {
  M& mesh = *m_mesh;
  index_type const id = junction.get_idx();
  halfedge_handle const start = first_outgoing_with_bubble(mesh, junction);
  if (start.is_null()) return false;
  halfedge_handle const stop = mesh.get_vertex(junction).m_outgoing_halfedge;
  halfedge_handle h = start;
  do {
    face_handle const bubble = mesh.get_halfedge(h).m_face;
    h = mesh.get_halfedge(mesh.twin(h)).m_next;
    if (bubble.is_null()) continue;
    if (!qualifies_for_t2(bubble)) continue;
    unsigned const films = film_count(mesh.get_face(bubble));
    if (films == 3) {
      if (handle_three_sided(bubble, max_iterations, tau)) return true;
    } else if (films > 3) {
      // A spent bubble squeezed towards nothing takes a pressure far from
      // its neighbours', which curls its films; after the swap that pressure
      // no longer fits its shape (the equilibration solves it anew) and could
      // count it inside out. It goes on with the mean pressure of its
      // neighbours, films nearly straight, if with that pressure no
      // neighbour turns inside out.
      auto& spent = mesh.get_face(bubble);
      m_guarded.clear();
      for (typename M::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
        guard_area(mesh.get_halfedge(c->m_twin).m_face);
      }
      double const squeezed = spent.m_pressure;
      spent.m_pressure = neighbour_mean_pressure(mesh, bubble);
      edge_handle e = guarded_areas_hold() ? shortest_swappable_film(bubble) : edge_handle();
      if (e.is_null()) {
        // A thin sliver between two long films keeps a positive area only
        // with its own, higher pressure: with its neighbours' it counts a
        // hair inside out, and no swap would ever pass. It is then judged,
        // and swapped, with the pressure it has.
        spent.m_pressure = squeezed;
        e = shortest_swappable_film(bubble);
      }
      if (e.is_null() || (mesh.get_halfedge(mesh.get_edge(e).m_halfedge0).m_destination != junction &&
                          mesh.get_halfedge(mesh.get_edge(e).m_halfedge1).m_destination != junction)) {
        spent.m_pressure = squeezed;
        continue;
      }
      edge_handle const created = rewire_t1(mesh, e);
      ++m_t1_count;
      finish_forced_t1(created, max_iterations, tau);
      if (m_verbose) (*m_log) << "- T2 for junction [handleID: " << id << "] was handled by forcing a T1" << std::endl;
      // The bubble, now one film shorter, collapses in the same visit when it
      // can: left as it is, the next equilibrations would squeeze a bubble
      // whose target area is spent until it turns inside out.
      for (bool first_side : {true, false}) {
        face_handle const rebuilt = side_bubble(created, first_side);
        if (rebuilt.is_null() || !qualifies_for_t2(rebuilt) || film_count(mesh.get_face(rebuilt)) != 3) continue;
        if (handle_three_sided(rebuilt, max_iterations, tau)) break;
      }
      return true;
    }
    // A bubble of fewer than three films cannot arise: no event makes one.
  } while (h != stop && !h.is_null());
  return false;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::handle_three_sided(face_handle bubble, unsigned const& max_iterations,
                                                                 double const& tau) {
  M& mesh = *m_mesh;
  double const area = mesh.get_face(bubble).m_target_area;
  bool smaller_neighbour = false;
  for (typename M::const_face_halfedge_circulator c(mesh, bubble); c; ++c) {
    face_handle const H = mesh.get_halfedge(c->m_twin).m_face;
    auto const& neighbour = mesh.get_face(H);
    if (film_count(neighbour) != 3) continue;
    // The outer bubble is never reshaped as one of a pair.
    if (!neighbour.m_is_outer && neighbour.m_target_area >= area) {
      if (force_t1_on_pair(c.handle(), max_iterations, tau)) return true;
      // No T1 separates the pair (in a small foam, often none can). Once the
      // larger one is spent as well, both vanish together; until then the
      // pair waits.
      return qualifies_for_t2(H) && collapse_spent_pair(c.handle(), max_iterations, tau);
    }
    smaller_neighbour = true;
  }
  // Collapsing next to a smaller three-sided bubble would leave it with two
  // films; that one handles the pair when it is visited itself. A bubble
  // whose collapse would turn a neighbour inside out waits until it has
  // shrunk further.
  if (smaller_neighbour || !collapse_keeps_neighbours_sound(mesh, bubble)) return false;

  index_type const id = bubble.get_idx();
  vertex_handle const K = collapse_bubble(mesh, bubble);
  ++m_t2_count;
  equilibrate(K, max_iterations, tau);
  if (m_verbose) {
    (*m_log) << "- T2 for bubble [handleID: " << id << "] was handled - new junction [handleID: " << K.get_idx()
              << "]" << std::endl;
  }
  return true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::collapse_spent_pair(halfedge_handle shared, unsigned const& max_iterations,
                                                                  double const& tau) {
  M& mesh = *m_mesh;
  ThreeSidedPair const pair = three_sided_pair(mesh, shared);
  if (!can_collapse_pair(mesh, pair)) return false;
  collapse_pair(mesh, pair);
  m_t2_count += 2;
  equilibrate(pair.s, max_iterations, tau);
  equilibrate(pair.u, max_iterations, tau);
  if (m_verbose) {
    (*m_log) << "- T2 for bubbles [handleID: " << pair.b.get_idx() << "] and [handleID: " << pair.h.get_idx()
              << "] was handled - both vanished, new film between junctions [handleID: " << pair.s.get_idx()
              << "] and [handleID: " << pair.u.get_idx() << "]" << std::endl;
  }
  return true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::force_t1_on_pair(halfedge_handle shared, unsigned const& max_iterations,
                                                               double const& tau) {
  M& mesh = *m_mesh;
  face_handle const B = mesh.get_halfedge(shared).m_face;
  face_handle const H = mesh.get_halfedge(mesh.twin(shared)).m_face;
  vertex_handle const P = mesh.origin(shared);
  vertex_handle const Q = mesh.destination(shared);
  vertex_handle R, T;
  for (typename M::const_face_halfedge_circulator c(mesh, H); c; ++c) {
    vertex_handle const a = mesh.origin(c.handle());
    if (a != P && a != Q) R = a;
  }
  for (typename M::const_face_halfedge_circulator c(mesh, B); c; ++c) {
    vertex_handle const a = mesh.origin(c.handle());
    if (a != P && a != Q) T = a;
  }
  // R's film that does not belong to H leads to S.
  halfedge_handle out;
  for (typename M::const_vertex_halfedge_circulator c(mesh, R); c; ++c) {
    if (c->m_face != H && mesh.get_halfedge(c->m_twin).m_face != H) {
      out = c.handle();
      break;
    }
  }
  if (out.is_null()) return false;
  edge_handle const film = mesh.get_halfedge(out).m_edge;
  // The geometry is judged after the pair has moved next to S: before, a
  // long film R-S would turn the small pair inside out when swapped.
  if (!can_force_t1(film, false)) return false;

  vertex_handle const S = mesh.destination(out);
  vector3_type const D = (mesh.get_vertex(S).m_coord - mesh.get_vertex(R).m_coord) * 0.9;
  // The pair moves as one piece; in a small foam the film R-S can be long,
  // and the move must not turn a bubble around the pair inside out.
  vertex_handle const moved[4] = {P, Q, R, T};
  m_guarded.clear();
  for (vertex_handle v : moved) {
    for (typename M::const_vertex_halfedge_circulator c(mesh, v); c; ++c) guard_area(c->m_face);
  }
  vector3_type const before[4] = {mesh.get_vertex(P).m_coord, mesh.get_vertex(Q).m_coord, mesh.get_vertex(R).m_coord,
                                   mesh.get_vertex(T).m_coord};
  for (vertex_handle v : moved) mesh.get_vertex(v).m_coord += D;
  if (!can_force_t1(film) || !guarded_areas_hold()) {
    for (int i = 0; i < 4; ++i) mesh.get_vertex(moved[i]).m_coord = before[i];
    return false;
  }

  edge_handle const created = rewire_t1(mesh, film);
  ++m_t1_count;
  finish_forced_t1(created, max_iterations, tau);
  if (m_verbose) {
    (*m_log) << "T2: two three-bubbles detected - forcing T1 on largest three-bubble with disp(" << D.x << ", " << D.y
              << ")" << std::endl;
  }
  return true;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
