#include "foam/dual_foam.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "foam/foam_geometry.h"
#include "foam/triangulate_sites.h"

namespace Quarvel {
namespace kordal {

namespace {

using vertex_handle = FoamMesh::vertex_handle;
using halfedge_handle = FoamMesh::halfedge_handle;
using face_handle = FoamMesh::face_handle;

unsigned valency_of(FoamMesh const& foam, vertex_handle v) { return valency(foam.get_vertex(v)); }

// Repairs the border corners: while some junction has two films, the first
// such junction in list order has its bubble rebuilt from the bubble's
// three-film junctions only (or dropped when fewer than three remain).
//
// Restarting a full scan after every repair would make this quadratic. A
// repair changes films only at the corners of the bubble it rebuilds, so only
// those corners can gain or lose valency 2; no junction is created or removed,
// so list order is handle order throughout. A min-heap of handles therefore
// holds every two-film junction (and possibly stale entries, which are
// re-checked when popped), and its smallest live entry is exactly the
// junction that the restarted scan would find first. Each repair shrinks the
// total number of bubble corners by at least one, so this ends.
//
// candidates holds the handle indices of at least every two-film junction.
void repair_border_corners(FoamMesh& foam, std::vector<std::uint32_t> candidates) {
  std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<std::uint32_t>> pending(
      std::greater<std::uint32_t>(), std::move(candidates));
  std::vector<vertex_handle> corners;
  std::vector<vertex_handle> kept;
  while (!pending.empty()) {
    vertex_handle const v(pending.top());
    pending.pop();
    if (!foam.is_valid_vertex_handle(v) || valency_of(foam, v) != 2) continue;

    halfedge_handle const out = foam.get_vertex(v).m_outgoing_halfedge;
    face_handle f = foam.get_halfedge(out).m_face;
    if (f.is_null()) f = foam.get_halfedge(foam.twin(out)).m_face;
    // Every film borders a bubble, so f exists; were it missing, no repair
    // could change v and the junction is passed over.
    if (f.is_null()) continue;

    corners.clear();
    kept.clear();
    for (FoamMesh::const_face_halfedge_circulator c(foam, f); c; ++c) {
      vertex_handle const o = foam.origin(c.handle());
      corners.push_back(o);
      if (valency_of(foam, o) == 3) kept.push_back(o);
    }
    foam.remove_face(f);
    if (kept.size() > 2) foam.add_face(kept);
    for (vertex_handle u : corners) {
      if (valency_of(foam, u) == 2) pending.push(u.get_idx());
    }
  }
}

// Before any repair a two-film junction is the circumcentre of a triangle
// with one inner corner: it lies on that corner's bubble alone, so it is on
// the open boundary, where its outgoing half-edge has no bubble. Only such
// junctions are candidates for the repair.
std::vector<std::uint32_t> open_junctions(FoamMesh const& foam) {
  std::vector<std::uint32_t> open;
  for (auto const& v : foam.vertices()) {
    if (!v.m_outgoing_halfedge.is_null() && foam.get_halfedge(v.m_outgoing_halfedge).m_face.is_null()) {
      open.push_back(v.m_self.get_idx());
    }
  }
  return open;
}

// Removes the junctions left without films: the two-film corners cut off by
// the repair and the circumcentres of triangles that no bubble uses. Of the
// junctions that are not three-fold only these have no outgoing half-edge,
// and removing one changes no other junction, so testing for that alone
// removes the same ones.
void remove_stray_junctions(FoamMesh& foam) {
  std::vector<vertex_handle> isolated;
  for (auto const& v : foam.vertices()) {
    if (v.m_outgoing_halfedge.is_null()) isolated.push_back(v.m_self);
  }
  for (vertex_handle v : isolated) foam.remove_vertex(v);
}

// The two areas that generation gives a bubble, from its corners in loop
// order starting at the origin of its border half-edge:
// - straight: what compute_area returns while every pressure is 0 (every
//   film straight, so only its polygon terms count): the same sum in the same
//   order, without walking the neighbours or the film arcs;
// - fan: the sum of unsigned triangle areas of the fan from the first corner,
//   which sets the pressure.
struct BubbleAreas {
  double straight = 0.0;
  double fan = 0.0;
};

class BubbleAreaSum {
 public:
  explicit BubbleAreaSum(vector3_type const& first) : m_q(first), m_w(first) {}
  void add_corner(vector3_type const& E) {
    vector3_type const& q = m_q;
    vector3_type const& w = m_w;
    m_areas.straight += fan_triangle(q, w, E);
    // The fan's triangles are (P0, Pk, Pk+1) for k >= 1: the first corner
    // added, P1, closes none.
    if (!m_first) {
      vector3_type const a = w - q, b = E - q;
      m_areas.fan += 0.5 * std::abs(a.x * b.y - a.y * b.x);
    }
    m_w = E;
    m_first = false;
  }
  BubbleAreas areas() const { return m_areas; }

 private:
  vector3_type m_q, m_w;
  bool m_first = true;
  BubbleAreas m_areas;
};

BubbleAreas bubble_areas(FoamMesh const& foam, FoamMesh::face_type const& f) {
  if (f.m_border_halfedge.is_null()) return {};
  BubbleAreaSum sum(foam.get_vertex(foam.origin(f.m_border_halfedge)).m_coord);
  for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
    sum.add_corner(foam.get_vertex(c->m_destination).m_coord);
  }
  return sum.areas();
}

// -- the dual, replayed on index arrays -------------------------------------------------
//
// Building the triangle mesh and its dual face by face through the kernel
// walks linked records in site order, which is random in space: beyond a few
// thousand sites nearly every step is a cache miss. FlatMesh replays the
// kernel's add_face step for step on plain index arrays (half-edges made in
// pairs, so twin = h ^ 1 and edge = h / 2), with the same handle numbering,
// links and outgoing half-edges; the finished dual is then written into the
// foam record by record in handle order. A refusal that the kernel would undo
// after changing links is not replayed: the build falls back to the kernel.

constexpr std::uint32_t nil = 0xFFFFFFFFu;

class FlatMesh {
 public:
  explicit FlatMesh(std::size_t vertex_count) : m_out(vertex_count, nil) {}

  std::size_t vertex_count() const { return m_out.size(); }
  std::size_t face_count() const { return m_border.size(); }
  static std::uint32_t twin(std::uint32_t h) { return h ^ 1u; }
  std::uint32_t origin(std::uint32_t h) const { return m_dest[twin(h)]; }
  std::uint32_t next(std::uint32_t h) const { return m_next[h]; }
  std::uint32_t border(std::uint32_t f) const { return m_border[f]; }
  std::uint32_t face_of(std::uint32_t h) const { return m_face[h]; }

  /// Calls visit(h) for the outgoing half-edges of v in circulator order,
  /// from its outgoing half-edge; stops early when visit returns false.
  template <typename Visit>
  void circulate(std::uint32_t v, Visit visit) const {
    std::uint32_t const start = m_out[v];
    std::uint32_t h = start;
    while (h != nil) {
      if (!visit(h)) return;
      std::uint32_t const n = m_next[twin(h)];
      h = n == start ? nil : n;
    }
  }

  /// Vertices with an outgoing half-edge that has no face, in index order.
  std::vector<std::uint32_t> open_vertices() const {
    std::vector<std::uint32_t> open;
    for (std::uint32_t v = 0; v < m_out.size(); ++v) {
      if (m_out[v] != nil && m_face[m_out[v]] == nil) open.push_back(v);
    }
    return open;
  }

  bool on_boundary(std::uint32_t v) const {
    if (m_out[v] == nil) return true;
    bool open = false;
    circulate(v, [&](std::uint32_t h) { return !(open = m_face[h] == nil); });
    return open;
  }

  /// The kernel's add_face. Returns false only for a refusal after links
  /// changed (the replay is then void); an early refusal adds nothing and
  /// returns true, as the kernel changes nothing then either.
  bool add_face(std::uint32_t const* v, std::size_t n) {
    if (n < 3) return true;
    for (std::size_t i = 0; i < n; ++i) {
      if (v[i] >= vertex_count() || !on_boundary(v[i])) return true;
    }
    m_sorted.assign(v, v + n);
    std::sort(m_sorted.begin(), m_sorted.end());
    if (std::adjacent_find(m_sorted.begin(), m_sorted.end()) != m_sorted.end()) return true;
    m_h.assign(n, nil);
    m_new.assign(n, 0);
    m_adjust.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
      m_h[i] = find_halfedge(v[i], v[(i + 1) % n]);
      if (m_h[i] == nil) {
        m_new[i] = 1;
      } else if (m_face[m_h[i]] != nil) {
        return true;
      }
    }

    std::size_t const guard = m_next.size() + 1;
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t const ii = (i + 1) % n;
      if (m_new[i] || m_new[ii]) continue;
      std::uint32_t const inner_prev = m_h[i], inner_next = m_h[ii];
      if (m_next[inner_prev] == inner_next) continue;
      std::uint32_t boundary_prev = twin(inner_next);
      std::size_t steps = 0;
      do {
        if (m_next[boundary_prev] == nil || ++steps > guard) return false;
        boundary_prev = twin(m_next[boundary_prev]);
      } while (m_face[boundary_prev] != nil || boundary_prev == inner_prev);
      std::uint32_t const boundary_next = m_next[boundary_prev];
      if (m_face[boundary_next] != nil || boundary_next == inner_next) return false;
      std::uint32_t const patch_start = m_next[inner_prev];
      std::uint32_t const patch_end = m_prev[inner_next];
      set_next(boundary_prev, patch_start);
      set_next(patch_end, boundary_next);
      set_next(inner_prev, inner_next);
    }

    for (std::size_t i = 0; i < n; ++i) {
      if (m_new[i]) m_h[i] = add_edge(v[i], v[(i + 1) % n]);
    }
    std::uint32_t const f = static_cast<std::uint32_t>(m_border.size());
    m_border.push_back(m_h[n - 1]);

    for (std::size_t i = 0; i < n; ++i) {
      std::size_t const ii = (i + 1) % n;
      std::uint32_t const inner_prev = m_h[i], inner_next = m_h[ii], w = v[ii];
      if (m_new[i] || m_new[ii]) {
        std::uint32_t const outer_prev = twin(inner_next), outer_next = twin(inner_prev);
        if (m_new[i] && !m_new[ii]) {
          set_next(m_prev[inner_next], outer_next);
          m_out[w] = outer_next;
        } else if (!m_new[i] && m_new[ii]) {
          std::uint32_t const boundary_next = m_next[inner_prev];
          set_next(outer_prev, boundary_next);
          m_out[w] = boundary_next;
        } else if (m_out[w] == nil) {
          m_out[w] = outer_next;
          set_next(outer_prev, outer_next);
        } else {
          std::uint32_t const boundary_next = m_out[w];
          if (m_face[boundary_next] != nil) return false;
          set_next(m_prev[boundary_next], outer_next);
          set_next(outer_prev, boundary_next);
        }
        set_next(inner_prev, inner_next);
      } else {
        m_adjust[ii] = m_out[w] == inner_next;
      }
      m_face[inner_prev] = f;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (m_adjust[i]) adjust_outgoing_halfedge(v[i]);
    }
    return true;
  }

  /// Writes the half-edges, edges and faces into mesh, whose vertices
  /// 0 .. vertex_count() - 1 exist already and are the ones indexed here.
  void write_links(FoamMesh& mesh) const {
    auto handle = [](std::uint32_t i) { return FoamMesh::halfedge_handle(i); };
    auto v = mesh.vertices().begin();
    for (std::size_t i = 0; i < m_out.size(); ++i, ++v) v->m_outgoing_halfedge = handle(m_out[i]);
    for (std::size_t e = 0; 2 * e < m_next.size(); ++e) {
      FoamMesh::edge_handle const eh = mesh.create_edge();
      mesh.get_edge(eh).m_halfedge0 = handle(std::uint32_t(2 * e));
      mesh.get_edge(eh).m_halfedge1 = handle(std::uint32_t(2 * e + 1));
    }
    for (std::size_t h = 0; h < m_next.size(); ++h) {
      auto& r = mesh.get_halfedge(mesh.create_halfedge());
      r.m_next = handle(m_next[h]);
      r.m_prev = handle(m_prev[h]);
      r.m_face = FoamMesh::face_handle(m_face[h]);
      r.m_twin = handle(twin(std::uint32_t(h)));
      r.m_destination = FoamMesh::vertex_handle(m_dest[h]);
      r.m_edge = FoamMesh::edge_handle(std::uint32_t(h / 2));
    }
    for (std::uint32_t b : m_border) mesh.get_face(mesh.create_face()).m_border_halfedge = handle(b);
  }

 private:
  void set_next(std::uint32_t h, std::uint32_t n) {
    m_next[h] = n;
    if (n != nil) m_prev[n] = h;
  }

  std::uint32_t find_halfedge(std::uint32_t a, std::uint32_t b) const {
    std::uint32_t found = nil;
    circulate(a, [&](std::uint32_t h) {
      if (m_dest[h] == b) found = h;
      return found == nil;
    });
    return found;
  }

  // The kernel's add_edge first looks for an existing half-edge from a to b.
  // Here it is only called where add_face found none, and nothing made since
  // joins a to b (a face repeats no vertex), so the look-up is left out.
  std::uint32_t add_edge(std::uint32_t a, std::uint32_t b) {
    std::uint32_t const h0 = static_cast<std::uint32_t>(m_next.size());
    for (std::uint32_t d : {b, a}) {
      m_next.push_back(nil);
      m_prev.push_back(nil);
      m_face.push_back(nil);
      m_dest.push_back(d);
    }
    return h0;
  }

  void adjust_outgoing_halfedge(std::uint32_t v) {
    circulate(v, [&](std::uint32_t h) {
      if (m_face[h] != nil) return true;
      m_out[v] = h;
      return false;
    });
  }

  std::vector<std::uint32_t> m_out;
  std::vector<std::uint32_t> m_next, m_prev, m_face, m_dest;
  std::vector<std::uint32_t> m_border;
  std::vector<std::uint32_t> m_sorted, m_h;
  std::vector<char> m_new, m_adjust;
};

// The first step of generation (triangulate_sites, then compute_dual)
// replayed on index arrays and written into the empty foam; open receives the
// junctions on the open boundary and areas the areas of every bubble, in
// bubble order. False, with the foam left for the caller to clear, when a
// refusal would need the kernel's undo.
bool build_dual_by_replay(std::vector<vector3_type> const& sites, FoamMesh& foam,
                          std::vector<std::uint32_t>& open, std::vector<BubbleAreas>& areas) {
  std::vector<vector3_type> points;
  std::vector<int> corners;
  delaunay_triangulation(sites, points, corners);

  FlatMesh triangles(points.size());
  for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
    std::uint32_t face[3];
    for (int k = 0; k < 3; ++k) {
      int const c = corners[t + k];
      face[k] = c >= 0 && std::size_t(c) < points.size() ? std::uint32_t(c) : nil;
    }
    if (!triangles.add_face(face, 3)) return false;
  }

  // One junction per triangle, in face order, so the junction of face j is
  // vertex j of the dual.
  FlatMesh dual(triangles.face_count());
  std::vector<vector3_type> junctions;
  junctions.reserve(triangles.face_count());
  for (std::uint32_t t = 0; t < triangles.face_count(); ++t) {
    std::uint32_t const h0 = triangles.border(t);
    std::uint32_t const h1 = triangles.next(h0);
    std::uint32_t const h2 = triangles.next(h1);
    junctions.push_back(circumcentre(points[triangles.origin(h0)], points[triangles.origin(h1)],
                                     points[triangles.origin(h2)]));
    foam.add_vertex(junctions.back());
  }
  std::vector<std::uint32_t> loop;
  areas.clear();
  for (std::uint32_t u = 0; u < triangles.vertex_count(); ++u) {
    // A vertex on the hull (a sector without a face, or none at all) has an
    // unbounded cell: no bubble. One walk collects the loop and tests that.
    bool inner = true;
    loop.clear();
    triangles.circulate(u, [&](std::uint32_t h) {
      inner = triangles.face_of(h) != nil;
      if (inner) loop.push_back(triangles.face_of(h));
      return inner;
    });
    if (!inner || loop.size() < 3) continue;
    std::size_t const before = dual.face_count();
    if (!dual.add_face(loop.data(), loop.size())) return false;
    if (dual.face_count() == before) continue;
    // The new face's border half-edge runs from the last corner to the first,
    // so its loop visits the corners in the order given.
    BubbleAreaSum sum(junctions[loop.back()]);
    for (std::uint32_t j : loop) sum.add_corner(junctions[j]);
    areas.push_back(sum.areas());
  }
  dual.write_links(foam);
  open = dual.open_vertices();
  return true;
}

}  // namespace

void generate_foam(FoamMesh& foam, std::vector<vector3_type> const& sites, double pressure_scale,
                   double film_tension, GenerationPath path) {
  foam.clear();
  std::vector<std::uint32_t> candidates;
  std::vector<BubbleAreas> areas;
  if (path == GenerationPath::kernel || !build_dual_by_replay(sites, foam, candidates, areas)) {
    // The mesh kernel's own path, which can undo a refused face.
    areas.clear();
    FoamMesh triangles;
    foam.clear();
    triangulate_sites(sites, triangles);
    compute_dual(triangles, foam);
    candidates = open_junctions(foam);
  }
  repair_border_corners(foam, std::move(candidates));
  remove_stray_junctions(foam);
  foam.m_film_tension = film_tension;
  foam.m_outside_pressure = 1.0;
  // Every pressure is still 0, so compute_area would see straight films: the
  // target area is the polygon area. The repair leaves the loops of the
  // bubbles it does not rebuild as they were, so their areas from the replay
  // hold; only rebuilt bubbles (new handles) are walked in the foam.
  std::uint32_t tag = 0;
  for (auto& f : foam.faces()) {
    f.m_tag = tag++;
    std::size_t const idx = f.m_self.get_idx();
    BubbleAreas const a = idx < areas.size() ? areas[idx] : bubble_areas(foam, f);
    f.m_target_area = a.straight;
    f.m_pressure = pressure_scale / a.fan;
  }
}

}  // namespace kordal
}  // namespace Quarvel
