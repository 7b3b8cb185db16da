#include "solver/film_repairs.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "foam/foam_geometry.h"
#include "foam/t1_process.h"

namespace Quarvel {
namespace solver {

using kordal::FoamMesh;

namespace {

// A bubble's corner wider than a half turn is tangled: its junction's films
// all lie to one side, and no move of the junction balances them. The sweeps
// then hold the junction's shortest film just above the T1 threshold for
// good; one up to this many thresholds long is swapped instead.
constexpr double tangled_film_thresholds = 4.0;

// The largest angle error at the two ends of a film.
double end_error(FoamMesh const& foam, polymesh::vertex_handle u, polymesh::vertex_handle v) {
  double worst = 0.0;
  for (polymesh::vertex_handle end : {u, v}) {
    auto const& junction = foam.get_vertex(end);
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, end); c; ++c) {
      if (c->m_face.is_null()) continue;
      worst = std::max(worst, std::abs(kordal::junction_angle(foam.get_face(c->m_face), junction) - 2.0 * M_PI / 3.0));
    }
  }
  return worst;
}

}  // namespace

// The simulation loop's T1 rules for a film, the T2 threshold's included: a
// film beside a bubble due for a T2 is left to that event.
bool may_swap(FoamMesh const& foam, polymesh::edge_handle film, SolverSettings const& settings) {
  if (!foam.is_valid_edge_handle(film)) return false;
  if (!kordal::has_threefold_ends(foam, film) || !kordal::is_t1_candidate(foam, film, settings.m_t1_threshold) ||
      !kordal::can_rewire_t1(foam, film)) {
    return false;
  }
  auto const& e = foam.get_edge(film);
  for (polymesh::halfedge_handle h : {e.m_halfedge0, e.m_halfedge1}) {
    auto const& f = foam.get_face(foam.get_halfedge(h).m_face);
    if (!f.m_is_outer && settings.m_t2_threshold >= f.m_target_area) return false;
  }
  return true;
}


// A film that a swap made, whose two new junctions each lie where the other
// belongs: both tangled, so that no move of either balances it, and the film
// swaps back a few iterations later, as wrongly placed. Its ends trade
// places when that balances them better. Returns whether they did.
bool trade_ends_if_better(FoamMesh& foam, polymesh::edge_handle film) {
  if (!foam.is_valid_edge_handle(film)) return false;
  auto const& e = foam.get_edge(film);
  polymesh::vertex_handle const u = foam.get_halfedge(e.m_halfedge1).m_destination;
  polymesh::vertex_handle const v = foam.get_halfedge(e.m_halfedge0).m_destination;
  auto& U = foam.get_vertex(u);
  auto& V = foam.get_vertex(v);
  if (kordal::is_boundary(U) || kordal::is_boundary(V)) return false;
  double const before = end_error(foam, u, v);
  if (!(before > M_PI / 3.0)) return false;  // no corner past a half turn
  std::swap(U.m_coord, V.m_coord);
  if (end_error(foam, u, v) < before) return true;
  std::swap(U.m_coord, V.m_coord);
  return false;
}

// Swaps the shortest film, if short enough, of each tangled junction: one
// with a bubble's corner wider than a half turn. Returns the swaps made.
unsigned swap_tangled(FoamMesh& foam, std::vector<polymesh::vertex_handle> const& tangled,
                      SolverSettings const& settings) {
  if (settings.m_t1_threshold <= 0.0) return 0;
  SolverSettings tangled_swap = settings;
  tangled_swap.m_t1_threshold = tangled_film_thresholds * settings.m_t1_threshold;
  unsigned swapped = 0;
  for (polymesh::vertex_handle v : tangled) {
    if (!foam.is_valid_vertex_handle(v)) continue;
    polymesh::edge_handle shortest;
    double length = tangled_swap.m_t1_threshold;
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v); c; ++c) {
      double const l = math::length(foam.get_vertex(c->m_destination).m_coord - foam.get_vertex(v).m_coord);
      if (l <= length) length = l, shortest = c->m_edge;
    }
    if (shortest.is_null() || !may_swap(foam, shortest, tangled_swap)) continue;
    polymesh::edge_handle const created = kordal::rewire_t1(foam, shortest);
    trade_ends_if_better(foam, created);
    foam.get_edge(created).m_created_by_t1 = true;
    ++swapped;
  }
  return swapped;
}

// A film that a T1 may not swap because a bubble beside it has only three
// films can shrink to a point: a three-sided bubble on the border, its film
// to the outside collapsed. Its junctions' angles then answer to a move a
// hundred thousand times more steeply than elsewhere, and no step of the
// solve or the sweeps passes. Such a film, shorter than the T1 threshold,
// is drawn out to that length along itself, unless that turns a bubble
// beside its ends inside out. Returns the films drawn out.
unsigned draw_out_blocked_films(FoamMesh& foam, SolverSettings const& settings) {
  double const length = settings.m_t1_threshold;
  if (length <= 0.0) return 0;
  unsigned drawn = 0;
  std::vector<std::pair<polymesh::face_handle, double>> guarded;
  for (auto const& e : foam.edges()) {
    auto const& h0 = foam.get_halfedge(e.m_halfedge0);
    auto const& h1 = foam.get_halfedge(e.m_halfedge1);
    if (h0.m_face.is_null() || h1.m_face.is_null()) continue;
    if (kordal::film_count(foam.get_face(h0.m_face)) > 3 && kordal::film_count(foam.get_face(h1.m_face)) > 3) continue;
    auto& u = foam.get_vertex(h1.m_destination);
    auto& v = foam.get_vertex(h0.m_destination);
    if (kordal::is_boundary(u) || kordal::is_boundary(v)) continue;
    auto const d = v.m_coord - u.m_coord;
    double const l = math::length(d);
    if (!(l > 0.0) || l >= length) continue;
    guarded.clear();
    for (auto const* end : {&u, &v}) {
      for (FoamMesh::const_vertex_halfedge_circulator c(foam, end->m_self); c; ++c) {
        if (c->m_face.is_null()) continue;
        guarded.emplace_back(c->m_face, std::min(0.0, kordal::compute_area(foam.get_face(c->m_face))));
      }
    }
    auto const before_u = u.m_coord, before_v = v.m_coord;
    auto const push = d * (0.5 * (length - l) / l);
    u.m_coord = before_u - push;
    v.m_coord = before_v + push;
    bool ok = true;
    for (auto const& g : guarded) ok = ok && kordal::compute_area(foam.get_face(g.first)) >= g.second;
    if (ok) {
      ++drawn;
    } else {
      u.m_coord = before_u;
      v.m_coord = before_v;
    }
  }
  return drawn;
}

// The tangled junctions of the foam.
void find_tangled(FoamMesh const& foam, std::vector<polymesh::vertex_handle>& tangled) {
  tangled.clear();
  for (auto const& v : foam.vertices()) {
    if (kordal::is_boundary(v)) continue;
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      if (kordal::junction_angle(foam.get_face(c->m_face), v) > M_PI) {
        tangled.push_back(v.m_self);
        break;
      }
    }
  }
}

}  // namespace solver
}  // namespace Quarvel
