#ifndef FROTH_POLYMESH_POLY_MESH_H
#define FROTH_POLYMESH_POLY_MESH_H

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <list>
#include <ostream>
#include <vector>

#include "polymesh/circulators.h"
#include "polymesh/handles.h"
#include "polymesh/poly_mesh_list_kernel.h"
#include "polymesh/poly_mesh_records.h"

namespace Quarvel {
namespace polymesh {

template <typename Types, typename VT, typename HT, typename ET, typename FT, typename MT,
          template <typename, typename, typename, typename> class Kernel>
class PolyMesh;

/// The mesh base: it derives from the mesh-wide traits (so their data are
/// members of the mesh itself) and owns the storage kernel.
template <typename Types, typename VT, typename HT, typename ET, typename FT, typename MT,
          template <typename, typename, typename, typename> class Kernel>
class PMesh : public MT {
 public:
  using mesh_type = PolyMesh<Types, VT, HT, ET, FT, MT, Kernel>;
  using vertex_type = PolyMeshVertex<mesh_type, VT>;
  using halfedge_type = PolyMeshHalfEdge<mesh_type, HT>;
  using edge_type = PolyMeshEdge<mesh_type, ET>;
  using face_type = PolyMeshFace<mesh_type, FT>;
  using kernel_type = Kernel<vertex_type, halfedge_type, edge_type, face_type>;

 protected:
  kernel_type m_kernel;
};

/// A half-edge polygon mesh with stable handles.
///
/// Faces are made from cycles of vertices with full re-linking of the open
/// boundary (add_face) and taken apart again (remove_face, remove_edge,
/// remove_vertex). Half-edges without a face form closed boundary loops, and a
/// vertex with an outgoing boundary half-edge keeps one as its
/// m_outgoing_halfedge. Refusals are reported by return value (a null handle,
/// false) and leave the mesh as it was.
template <typename Types, typename VT, typename HT, typename ET, typename FT, typename MT,
          template <typename, typename, typename, typename> class Kernel>
class PolyMesh : public PMesh<Types, VT, HT, ET, FT, MT, Kernel> {
  using base = PMesh<Types, VT, HT, ET, FT, MT, Kernel>;

 public:
  using math_types = Types;
  using real_type = typename Types::real_type;
  using index_type = typename Types::index_type;
  using vector3_type = typename Types::vector3_type;

  using vertex_handle = polymesh::vertex_handle;
  using halfedge_handle = polymesh::halfedge_handle;
  using edge_handle = polymesh::edge_handle;
  using face_handle = polymesh::face_handle;

  using typename base::edge_type;
  using typename base::face_type;
  using typename base::halfedge_type;
  using typename base::kernel_type;
  using typename base::vertex_type;

  using face_halfedge_circulator = HalfedgeCirculator<PolyMesh, false>;
  using vertex_halfedge_circulator = HalfedgeCirculator<PolyMesh, true>;
  using const_face_halfedge_circulator = HalfedgeCirculator<PolyMesh const, false>;
  using const_vertex_halfedge_circulator = HalfedgeCirculator<PolyMesh const, true>;

  PolyMesh() = default;
  PolyMesh(PolyMesh const& other) : base(other) { claim_records(); }
  PolyMesh& operator=(PolyMesh const& other) {
    base::operator=(other);
    claim_records();
    return *this;
  }
  PolyMesh(PolyMesh&& other) noexcept : base(std::move(other)) { claim_records(); }
  PolyMesh& operator=(PolyMesh&& other) noexcept {
    base::operator=(std::move(other));
    claim_records();
    return *this;
  }
  ~PolyMesh() { clear(); }

  // -- handles and lookup -------------------------------------------------------

  bool is_valid_vertex_handle(vertex_handle h) const { return this->m_kernel.is_valid_vertex_handle(h); }
  bool is_valid_halfedge_handle(halfedge_handle h) const { return this->m_kernel.is_valid_halfedge_handle(h); }
  bool is_valid_edge_handle(edge_handle h) const { return this->m_kernel.is_valid_edge_handle(h); }
  bool is_valid_face_handle(face_handle h) const { return this->m_kernel.is_valid_face_handle(h); }

  auto get_vertex_iterator(vertex_handle h) { return this->m_kernel.get_vertex_iterator(h); }
  auto get_halfedge_iterator(halfedge_handle h) { return this->m_kernel.get_halfedge_iterator(h); }
  auto get_edge_iterator(edge_handle h) { return this->m_kernel.get_edge_iterator(h); }
  auto get_face_iterator(face_handle h) { return this->m_kernel.get_face_iterator(h); }

  /// Record of a handle. The handle must be valid (callers test first).
  vertex_type& get_vertex(vertex_handle h) { return *this->m_kernel.get_vertex_iterator(h); }
  halfedge_type& get_halfedge(halfedge_handle h) { return *this->m_kernel.get_halfedge_iterator(h); }
  edge_type& get_edge(edge_handle h) { return *this->m_kernel.get_edge_iterator(h); }
  face_type& get_face(face_handle h) { return *this->m_kernel.get_face_iterator(h); }
  vertex_type const& get_vertex(vertex_handle h) const { return mut().get_vertex(h); }
  halfedge_type const& get_halfedge(halfedge_handle h) const { return mut().get_halfedge(h); }
  edge_type const& get_edge(edge_handle h) const { return mut().get_edge(h); }
  face_type const& get_face(face_handle h) const { return mut().get_face(h); }

  /// Origin of a half-edge: the destination of its twin.
  vertex_handle origin(halfedge_handle h) const { return get_halfedge(get_halfedge(h).m_twin).m_destination; }
  vertex_handle destination(halfedge_handle h) const { return get_halfedge(h).m_destination; }
  halfedge_handle twin(halfedge_handle h) const { return get_halfedge(h).m_twin; }

  // -- element lists, in creation order -------------------------------------------

  auto& vertices() { return this->m_kernel.vertices(); }
  auto const& vertices() const { return this->m_kernel.vertices(); }
  auto& halfedges() { return this->m_kernel.halfedges(); }
  auto const& halfedges() const { return this->m_kernel.halfedges(); }
  auto& edges() { return this->m_kernel.edges(); }
  auto const& edges() const { return this->m_kernel.edges(); }
  auto& faces() { return this->m_kernel.faces(); }
  auto const& faces() const { return this->m_kernel.faces(); }

  std::size_t vertex_size() const { return vertices().size(); }
  std::size_t halfedge_size() const { return halfedges().size(); }
  std::size_t edge_size() const { return edges().size(); }
  std::size_t face_size() const { return faces().size(); }

  kernel_type const& kernel() const { return this->m_kernel; }

  // -- record creation --------------------------------------------------------------

  vertex_handle create_vertex() { return own(this->m_kernel.create_vertex()); }
  halfedge_handle create_halfedge() { return own(this->m_kernel.create_halfedge()); }
  edge_handle create_edge() { return own(this->m_kernel.create_edge()); }
  face_handle create_face() { return own(this->m_kernel.create_face()); }

  vertex_handle add_vertex() { return create_vertex(); }

  /// A new vertex at coord (the vertex traits must have m_coord).
  template <typename Coord>
  vertex_handle add_vertex(Coord const& coord) {
    vertex_handle const v = create_vertex();
    get_vertex(v).m_coord = coord;
    return v;
  }

  // -- link setters; only set_next touches the partner (its m_prev) ----------------

  void set_next(halfedge_handle h, halfedge_handle n) {
    get_halfedge(h).m_next = n;
    if (!n.is_null()) get_halfedge(n).m_prev = h;
  }
  void set_prev(halfedge_handle h, halfedge_handle p) { get_halfedge(h).m_prev = p; }
  void set_face(halfedge_handle h, face_handle f) { get_halfedge(h).m_face = f; }
  void set_twin(halfedge_handle h, halfedge_handle t) { get_halfedge(h).m_twin = t; }
  void set_destination(halfedge_handle h, vertex_handle v) { get_halfedge(h).m_destination = v; }
  void set_edge(halfedge_handle h, edge_handle e) { get_halfedge(h).m_edge = e; }
  void set_outgoing_halfedge(vertex_handle v, halfedge_handle h) { get_vertex(v).m_outgoing_halfedge = h; }
  void set_border_halfedge(face_handle f, halfedge_handle h) { get_face(f).m_border_halfedge = h; }
  void set_halfedge0(edge_handle e, halfedge_handle h) { get_edge(e).m_halfedge0 = h; }
  void set_halfedge1(edge_handle e, halfedge_handle h) { get_edge(e).m_halfedge1 = h; }

  // -- topology -----------------------------------------------------------------------

  /// The first outgoing half-edge of a (in circulator order) that ends at b;
  /// null if there is none or either handle is not valid.
  halfedge_handle find_halfedge(vertex_handle a, vertex_handle b) const {
    if (!is_valid_vertex_handle(a) || !is_valid_vertex_handle(b)) return halfedge_handle();
    for (const_vertex_halfedge_circulator c(*this, a); c; ++c) {
      if (c->m_destination == b) return c.handle();
    }
    return halfedge_handle();
  }

  /// The half-edge from a to b, made (with its twin and edge, unlinked) if it
  /// does not exist yet. No vertex's outgoing half-edge is touched.
  halfedge_handle add_edge(vertex_handle a, vertex_handle b) {
    halfedge_handle const found = find_halfedge(a, b);
    if (!found.is_null()) return found;
    edge_handle const e = create_edge();
    halfedge_handle const h0 = create_halfedge();
    halfedge_handle const h1 = create_halfedge();
    halfedge_type& r0 = get_halfedge(h0);
    halfedge_type& r1 = get_halfedge(h1);
    r0.m_destination = b;
    r1.m_destination = a;
    r0.m_twin = h1;
    r1.m_twin = h0;
    r0.m_edge = e;
    r1.m_edge = e;
    get_edge(e).m_halfedge0 = h0;
    get_edge(e).m_halfedge1 = h1;
    return h0;
  }

  /// Makes a face from the vertex cycle [first, last): the half-edge from v[i]
  /// to v[i+1] is followed by the one from v[i+1] to v[i+2]. Returns the null
  /// handle, with the mesh unchanged, for fewer than three vertices, an invalid
  /// or repeated vertex, a vertex that is not on the boundary, a half-edge
  /// between consecutive vertices that already has a face, or a boundary that
  /// cannot be re-linked.
  template <typename It>
  face_handle add_face(It first, It last) {
    m_fv.clear();
    for (; first != last; ++first) m_fv.push_back(*first);
    return add_face_from_scratch();
  }
  face_handle add_face(std::vector<vertex_handle> const& loop) { return add_face(loop.begin(), loop.end()); }
  face_handle add_face(std::list<vertex_handle> const& loop) { return add_face(loop.begin(), loop.end()); }

  /// Points v's outgoing half-edge at its first outgoing boundary half-edge,
  /// if it has one.
  void adjust_outgoing_halfedge(vertex_handle v) {
    for (vertex_halfedge_circulator c(*this, v); c; ++c) {
      if (c->m_face.is_null()) {
        get_vertex(v).m_outgoing_halfedge = c.handle();
        return;
      }
    }
  }

  /// Removes a face; its edges that are left with no face on either side go
  /// too. Vertices stay, possibly isolated.
  bool remove_face(face_handle f) {
    std::vector<edge_handle> edges;
    std::vector<vertex_handle> origins;
    for (face_halfedge_circulator c(*this, f); c; ++c) {
      c->m_face = face_handle();
      edges.push_back(c->m_edge);
      origins.push_back(origin(c.handle()));
    }
    for (vertex_handle v : origins) adjust_outgoing_halfedge(v);
    for (edge_handle e : edges) remove_edge(e);
    get_face(f).m_border_halfedge = halfedge_handle();
    this->m_kernel.erase_face(f);
    return true;
  }

  /// Removes an edge that has no face on either side, closing the boundary
  /// loops around it; refuses (false) anything else.
  bool remove_edge(edge_handle e) {
    if (!is_valid_edge_handle(e)) return false;
    halfedge_handle const h0 = get_edge(e).m_halfedge0;
    halfedge_handle const h1 = get_edge(e).m_halfedge1;
    if (!is_valid_halfedge_handle(h0) || !is_valid_halfedge_handle(h1)) return false;
    vertex_handle const a = get_halfedge(h0).m_destination;
    vertex_handle const b = get_halfedge(h1).m_destination;
    if (!get_halfedge(h0).m_face.is_null() || !get_halfedge(h1).m_face.is_null()) return false;
    if (!is_valid_vertex_handle(a) || !is_valid_vertex_handle(b)) return false;
    halfedge_handle const h1_prev = get_halfedge(h1).m_prev;
    halfedge_handle const h0_next = get_halfedge(h0).m_next;
    halfedge_handle const h0_prev = get_halfedge(h0).m_prev;
    halfedge_handle const h1_next = get_halfedge(h1).m_next;
    // All four neighbours are checked before anything is re-linked.
    if (!is_valid_halfedge_handle(h1_prev) || !is_valid_halfedge_handle(h0_next) ||
        !is_valid_halfedge_handle(h0_prev) || !is_valid_halfedge_handle(h1_next)) {
      return false;
    }

    set_next(h1_prev, h0_next);
    if (h1_prev == h0) {
      get_vertex(a).m_outgoing_halfedge = halfedge_handle();
    } else if (get_vertex(a).m_outgoing_halfedge == h1) {
      get_vertex(a).m_outgoing_halfedge = h0_next;
    }
    adjust_outgoing_halfedge(a);

    set_next(h0_prev, h1_next);
    if (h0_prev == h1) {
      get_vertex(b).m_outgoing_halfedge = halfedge_handle();
    } else if (get_vertex(b).m_outgoing_halfedge == h0) {
      get_vertex(b).m_outgoing_halfedge = h1_next;
    }
    adjust_outgoing_halfedge(b);

    for (halfedge_handle h : {h0, h1}) {
      halfedge_type& r = get_halfedge(h);
      r.m_next = r.m_twin = halfedge_handle();
      r.m_destination = vertex_handle();
      r.m_edge = edge_handle();
    }
    get_edge(e).m_halfedge0 = get_edge(e).m_halfedge1 = halfedge_handle();
    this->m_kernel.erase_edge(e);
    this->m_kernel.erase_halfedge(h0);
    this->m_kernel.erase_halfedge(h1);
    return true;
  }

  /// Removes an isolated vertex; refuses (false) a vertex that still has edges.
  bool remove_vertex(vertex_handle v) {
    if (!is_valid_vertex_handle(v) || !get_vertex(v).m_outgoing_halfedge.is_null()) return false;
    this->m_kernel.erase_vertex(v);
    return true;
  }

  /// Empties the mesh; handle numbering restarts at 0.
  void clear() { this->m_kernel.clear(); }

  // -- validity -----------------------------------------------------------------------

  /// Checks every link invariant of the mesh. Returns false at the first broken
  /// one and, when report is given, writes a readable reason to it.
  bool is_valid(std::ostream* report = nullptr) const;

 private:
  PolyMesh& mut() const { return const_cast<PolyMesh&>(*this); }

  template <typename H>
  H own(H h) {
    record(h).m_owner = this;
    return h;
  }
  vertex_type& record(vertex_handle h) { return get_vertex(h); }
  halfedge_type& record(halfedge_handle h) { return get_halfedge(h); }
  edge_type& record(edge_handle h) { return get_edge(h); }
  face_type& record(face_handle h) { return get_face(h); }

  void claim_records() {
    for (auto& r : vertices()) r.m_owner = this;
    for (auto& r : halfedges()) r.m_owner = this;
    for (auto& r : edges()) r.m_owner = this;
    for (auto& r : faces()) r.m_owner = this;
  }

  // Undo log of add_face: a refusal after the first link was changed restores
  // every changed link and removes what was created.
  struct UndoEntry {
    enum Kind : std::uint8_t { next, prev, outgoing, face } kind;
    std::uint32_t record;
    std::uint32_t old_value;
  };

  void logged_set_next(halfedge_handle h, halfedge_handle n) {
    m_undo.push_back({UndoEntry::next, h.get_idx(), get_halfedge(h).m_next.get_idx()});
    m_undo.push_back({UndoEntry::prev, n.get_idx(), get_halfedge(n).m_prev.get_idx()});
    set_next(h, n);
  }
  void logged_set_outgoing(vertex_handle v, halfedge_handle h) {
    m_undo.push_back({UndoEntry::outgoing, v.get_idx(), get_vertex(v).m_outgoing_halfedge.get_idx()});
    get_vertex(v).m_outgoing_halfedge = h;
  }
  void logged_set_face(halfedge_handle h, face_handle f) {
    m_undo.push_back({UndoEntry::face, h.get_idx(), get_halfedge(h).m_face.get_idx()});
    get_halfedge(h).m_face = f;
  }

  face_handle refuse_after_changes(std::size_t first_new_edge, face_handle f) {
    for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) {
      switch (it->kind) {
        case UndoEntry::next: get_halfedge(halfedge_handle(it->record)).m_next = halfedge_handle(it->old_value); break;
        case UndoEntry::prev: get_halfedge(halfedge_handle(it->record)).m_prev = halfedge_handle(it->old_value); break;
        case UndoEntry::outgoing: get_vertex(vertex_handle(it->record)).m_outgoing_halfedge = halfedge_handle(it->old_value); break;
        case UndoEntry::face: get_halfedge(halfedge_handle(it->record)).m_face = face_handle(it->old_value); break;
      }
    }
    m_undo.clear();
    if (!f.is_null()) this->m_kernel.erase_face(f);
    for (std::size_t i = first_new_edge; i < m_new_edges.size(); ++i) {
      edge_handle const e = m_new_edges[i];
      this->m_kernel.erase_halfedge(get_edge(e).m_halfedge0);
      this->m_kernel.erase_halfedge(get_edge(e).m_halfedge1);
      this->m_kernel.erase_edge(e);
    }
    return face_handle();
  }

  bool on_boundary(vertex_handle v) const {
    if (get_vertex(v).m_outgoing_halfedge.is_null()) return true;
    for (const_vertex_halfedge_circulator c(*this, v); c; ++c) {
      if (c->m_face.is_null()) return true;
    }
    return false;
  }

  face_handle add_face_from_scratch();

  // Scratch space of add_face, kept to spare allocations on the T1/T2 path.
  std::vector<vertex_handle> m_fv;
  std::vector<vertex_handle> m_sorted;
  std::vector<halfedge_handle> m_fh;
  std::vector<char> m_fnew;
  std::vector<char> m_fadjust;
  std::vector<edge_handle> m_new_edges;
  std::vector<UndoEntry> m_undo;
};

template <typename Types, typename VT, typename HT, typename ET, typename FT, typename MT,
          template <typename, typename, typename, typename> class Kernel>
typename PolyMesh<Types, VT, HT, ET, FT, MT, Kernel>::face_handle
PolyMesh<Types, VT, HT, ET, FT, MT, Kernel>::add_face_from_scratch() {
  std::size_t const n = m_fv.size();
  if (n < 3) return face_handle();

  // 1-3: checks only; nothing changes before they all pass.
  for (vertex_handle v : m_fv) {
    if (!is_valid_vertex_handle(v) || !on_boundary(v)) return face_handle();
  }
  m_sorted.assign(m_fv.begin(), m_fv.end());
  std::sort(m_sorted.begin(), m_sorted.end());
  if (std::adjacent_find(m_sorted.begin(), m_sorted.end()) != m_sorted.end()) return face_handle();

  m_fh.assign(n, halfedge_handle());
  m_fnew.assign(n, 0);
  m_fadjust.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    m_fh[i] = find_halfedge(m_fv[i], m_fv[(i + 1) % n]);
    if (m_fh[i].is_null()) {
      m_fnew[i] = 1;
    } else if (!get_halfedge(m_fh[i]).m_face.is_null()) {
      return face_handle();
    }
  }

  m_undo.clear();
  m_new_edges.clear();

  // 4: re-link the boundary where two consecutive half-edges both exist.
  std::size_t const guard = halfedge_size() + 1;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t const ii = (i + 1) % n;
    if (m_fnew[i] || m_fnew[ii]) continue;
    halfedge_handle const inner_prev = m_fh[i];
    halfedge_handle const inner_next = m_fh[ii];
    if (get_halfedge(inner_prev).m_next == inner_next) continue;

    halfedge_handle const outer_prev = twin(inner_next);
    halfedge_handle boundary_prev = outer_prev;
    std::size_t steps = 0;
    // The patch moves to another gap at the vertex. Turning past inner_prev
    // would find only gaps inside the patch itself: linking it there would
    // cut the vertex's fans apart, so there is no room and the face is refused.
    do {
      boundary_prev = twin(get_halfedge(boundary_prev).m_next);
      if (boundary_prev == inner_prev || ++steps > guard) return refuse_after_changes(0, face_handle());
    } while (!get_halfedge(boundary_prev).m_face.is_null());

    halfedge_handle const boundary_next = get_halfedge(boundary_prev).m_next;
    if (!get_halfedge(boundary_next).m_face.is_null() || boundary_next == inner_next) {
      return refuse_after_changes(0, face_handle());
    }
    halfedge_handle const patch_start = get_halfedge(inner_prev).m_next;
    halfedge_handle const patch_end = get_halfedge(inner_next).m_prev;
    logged_set_next(boundary_prev, patch_start);
    logged_set_next(patch_end, boundary_next);
    logged_set_next(inner_prev, inner_next);
  }

  // 5: the missing edges.
  for (std::size_t i = 0; i < n; ++i) {
    if (!m_fnew[i]) continue;
    m_fh[i] = add_edge(m_fv[i], m_fv[(i + 1) % n]);
    m_new_edges.push_back(get_halfedge(m_fh[i]).m_edge);
  }

  // 6: the face.
  face_handle const f = create_face();
  get_face(f).m_border_halfedge = m_fh[n - 1];

  // 7: link the new half-edges into the face loop and the boundary.
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t const ii = (i + 1) % n;
    halfedge_handle const inner_prev = m_fh[i];
    halfedge_handle const inner_next = m_fh[ii];
    vertex_handle const v = m_fv[ii];
    if (m_fnew[i] || m_fnew[ii]) {
      halfedge_handle const outer_prev = twin(inner_next);
      halfedge_handle const outer_next = twin(inner_prev);
      if (m_fnew[i] && !m_fnew[ii]) {
        halfedge_handle const boundary_prev = get_halfedge(inner_next).m_prev;
        logged_set_next(boundary_prev, outer_next);
        logged_set_outgoing(v, outer_next);
      } else if (!m_fnew[i] && m_fnew[ii]) {
        halfedge_handle const boundary_next = get_halfedge(inner_prev).m_next;
        logged_set_next(outer_prev, boundary_next);
        logged_set_outgoing(v, boundary_next);
      } else if (get_vertex(v).m_outgoing_halfedge.is_null()) {
        logged_set_outgoing(v, outer_next);
        logged_set_next(outer_prev, outer_next);
      } else {
        halfedge_handle const boundary_next = get_vertex(v).m_outgoing_halfedge;
        if (!get_halfedge(boundary_next).m_face.is_null()) return refuse_after_changes(0, f);
        halfedge_handle const boundary_prev = get_halfedge(boundary_next).m_prev;
        logged_set_next(boundary_prev, outer_next);
        logged_set_next(outer_prev, boundary_next);
      }
      logged_set_next(inner_prev, inner_next);
    } else {
      m_fadjust[ii] = get_vertex(v).m_outgoing_halfedge == inner_next;
    }
    logged_set_face(inner_prev, f);
  }

  // 8: vertices whose outgoing half-edge now lies inside the face.
  for (std::size_t i = 0; i < n; ++i) {
    if (m_fadjust[i]) adjust_outgoing_halfedge(m_fv[i]);
  }
  m_undo.clear();
  return f;
}

}  // namespace polymesh
}  // namespace Quarvel

#include "polymesh/poly_mesh_validity.h"

#endif
