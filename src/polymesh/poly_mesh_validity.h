#ifndef FROTH_POLYMESH_POLY_MESH_VALIDITY_H
#define FROTH_POLYMESH_POLY_MESH_VALIDITY_H

// The mesh's invariant checker; included at the end of poly_mesh.h.

#include <ostream>
#include <vector>

namespace Quarvel {
namespace polymesh {
namespace detail {

/// Collects the first failure; later ones are ignored.
class ValidityReport {
 public:
  explicit ValidityReport(std::ostream* out) : m_out(out) {}
  template <typename... Args>
  bool fail(Args const&... args) {
    if (m_out) {
      (*m_out) << "mesh invalid: ";
      ((*m_out) << ... << args);
      (*m_out) << '\n';
    }
    return false;
  }

 private:
  std::ostream* m_out;
};

template <typename List, typename Table>
bool check_table(List const& list, Table const& table, char const* kind, ValidityReport& r) {
  std::size_t in_use = 0;
  for (auto const& e : table) in_use += e.m_in_use ? 1 : 0;
  if (in_use != list.size()) {
    return r.fail(kind, " table has ", in_use, " entries in use but the list holds ", list.size(), " records");
  }
  for (auto const& rec : list) {
    auto const idx = rec.m_self.get_idx();
    if (idx >= table.size() || !table[idx].m_in_use) return r.fail(kind, " ", idx, " is listed but its table entry is not in use");
    if (&*table[idx].m_position != &rec) return r.fail(kind, " ", idx, ": table entry points at another record");
  }
  return true;
}

}  // namespace detail

template <typename Types, typename VT, typename HT, typename ET, typename FT, typename MT,
          template <typename, typename, typename, typename> class Kernel>
bool PolyMesh<Types, VT, HT, ET, FT, MT, Kernel>::is_valid(std::ostream* report) const {
  detail::ValidityReport r(report);
  auto const& k = this->m_kernel;
  if (!detail::check_table(vertices(), k.vertex_handle_table(), "vertex", r)) return false;
  if (!detail::check_table(halfedges(), k.halfedge_handle_table(), "half-edge", r)) return false;
  if (!detail::check_table(edges(), k.edge_handle_table(), "edge", r)) return false;
  if (!detail::check_table(faces(), k.face_handle_table(), "face", r)) return false;

  std::size_t const guard = halfedge_size();
  std::vector<std::uint32_t> out_degree(k.vertex_handle_table().size(), 0);

  for (auto const& v : vertices()) {
    if (v.m_owner != this) return r.fail("vertex ", v.m_self, " has another owner");
  }
  for (auto const& f : faces()) {
    if (f.m_owner != this) return r.fail("face ", f.m_self, " has another owner");
  }

  for (auto const& e : edges()) {
    if (e.m_owner != this) return r.fail("edge ", e.m_self, " has another owner");
    if (!is_valid_halfedge_handle(e.m_halfedge0) || !is_valid_halfedge_handle(e.m_halfedge1)) {
      return r.fail("edge ", e.m_self, " has an invalid half-edge");
    }
    auto const& h0 = get_halfedge(e.m_halfedge0);
    if (h0.m_twin != e.m_halfedge1) return r.fail("edge ", e.m_self, ": its half-edges are not twins");
    if (h0.m_edge != e.m_self || get_halfedge(e.m_halfedge1).m_edge != e.m_self) {
      return r.fail("edge ", e.m_self, ": a half-edge does not carry the edge");
    }
  }

  for (auto const& h : halfedges()) {
    auto const id = h.m_self;
    if (h.m_owner != this) return r.fail("half-edge ", id, " has another owner");
    if (!is_valid_halfedge_handle(h.m_twin) || h.m_twin == id) return r.fail("half-edge ", id, " has no valid twin");
    auto const& t = get_halfedge(h.m_twin);
    if (t.m_twin != id) return r.fail("half-edge ", id, ": twin of twin is ", t.m_twin);
    if (!is_valid_edge_handle(h.m_edge) || t.m_edge != h.m_edge) return r.fail("half-edge ", id, " and its twin do not share a valid edge");
    auto const& e = get_edge(h.m_edge);
    if (e.m_halfedge0 != id && e.m_halfedge1 != id) return r.fail("half-edge ", id, " is not a half-edge of its edge ", h.m_edge);
    if (!is_valid_vertex_handle(h.m_destination)) return r.fail("half-edge ", id, " has no valid destination");
    if (h.m_destination == t.m_destination) return r.fail("half-edge ", id, " starts and ends at vertex ", h.m_destination);
    if (!is_valid_halfedge_handle(h.m_next) || !is_valid_halfedge_handle(h.m_prev)) {
      return r.fail("half-edge ", id, " has an invalid next or prev");
    }
    if (get_halfedge(h.m_next).m_prev != id) return r.fail("half-edge ", id, ": prev of next is not itself");
    if (get_halfedge(h.m_prev).m_next != id) return r.fail("half-edge ", id, ": next of prev is not itself");
    if (origin(h.m_next) != h.m_destination) {
      return r.fail("half-edge ", id, ": its destination ", h.m_destination, " is not the origin of its next");
    }
    if (!h.m_face.is_null() && !is_valid_face_handle(h.m_face)) return r.fail("half-edge ", id, " points at removed face ", h.m_face);
    if (h.m_face != get_halfedge(h.m_next).m_face) return r.fail("half-edge ", id, " and its next lie in different loops");
    ++out_degree[t.m_destination.get_idx()];
  }

  for (auto const& f : faces()) {
    if (!is_valid_halfedge_handle(f.m_border_halfedge)) return r.fail("face ", f.m_self, " has no valid border half-edge");
    std::size_t steps = 0;
    halfedge_handle h = f.m_border_halfedge;
    do {
      if (get_halfedge(h).m_face != f.m_self) return r.fail("face ", f.m_self, ": half-edge ", h, " of its loop carries face ", get_halfedge(h).m_face);
      if (++steps > guard) return r.fail("face ", f.m_self, ": loop does not close");
      h = get_halfedge(h).m_next;
    } while (h != f.m_border_halfedge);
  }

  for (auto const& h : halfedges()) {
    if (!h.m_face.is_null()) continue;
    std::size_t steps = 0;
    halfedge_handle c = h.m_self;
    do {
      if (++steps > guard) return r.fail("boundary loop through half-edge ", h.m_self, " does not close");
      c = get_halfedge(c).m_next;
    } while (c != h.m_self);
  }

  for (auto const& v : vertices()) {
    auto const id = v.m_self;
    std::uint32_t const degree = out_degree[id.get_idx()];
    if (v.m_outgoing_halfedge.is_null()) {
      if (degree != 0) return r.fail("vertex ", id, " has edges but no outgoing half-edge");
      continue;
    }
    if (!is_valid_halfedge_handle(v.m_outgoing_halfedge)) return r.fail("vertex ", id, " points at removed half-edge ", v.m_outgoing_halfedge);
    if (origin(v.m_outgoing_halfedge) != id) return r.fail("vertex ", id, ": its outgoing half-edge starts elsewhere");
    std::uint32_t visited = 0;
    bool has_boundary = false;
    for (const_vertex_halfedge_circulator c(*this, id); c; ++c) {
      if (origin(c.handle()) != id) return r.fail("vertex ", id, ": circulator reaches a half-edge that starts elsewhere");
      if (c->m_face.is_null()) has_boundary = true;
      if (++visited > degree) break;
    }
    if (visited != degree) {
      return r.fail("vertex ", id, ": circulator visits ", visited, " of its ", degree, " outgoing half-edges");
    }
    if (has_boundary && !get_halfedge(v.m_outgoing_halfedge).m_face.is_null()) {
      return r.fail("vertex ", id, " has an outgoing boundary half-edge but its outgoing half-edge has a face");
    }
  }
  return true;
}

}  // namespace polymesh
}  // namespace Quarvel

#endif
