#ifndef FROTH_POLYMESH_POLY_MESH_LIST_KERNEL_H
#define FROTH_POLYMESH_POLY_MESH_LIST_KERNEL_H

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <vector>

#include "polymesh/handles.h"

namespace Quarvel {
namespace polymesh {

/// Storage of the mesh records: one doubly linked list per kind, which owns
/// the records in creation order, and one handle table per kind, which maps a
/// handle index to its record. Table entries are never reused until clear(),
/// so handles stay stable across creation and removal of other records.
template <typename V, typename H, typename E, typename F>
class PolyMeshListKernel {
 public:
  using vertex_list = std::list<V>;
  using halfedge_list = std::list<H>;
  using edge_list = std::list<E>;
  using face_list = std::list<F>;
  using vertex_iterator = typename vertex_list::iterator;
  using halfedge_iterator = typename halfedge_list::iterator;
  using edge_iterator = typename edge_list::iterator;
  using face_iterator = typename face_list::iterator;

  template <typename It>
  struct TableEntry {
    bool m_in_use = false;
    It m_position{};
  };

  using vertex_table = std::vector<TableEntry<vertex_iterator>>;
  using halfedge_table = std::vector<TableEntry<halfedge_iterator>>;
  using edge_table = std::vector<TableEntry<edge_iterator>>;
  using face_table = std::vector<TableEntry<face_iterator>>;

  PolyMeshListKernel() = default;
  PolyMeshListKernel(PolyMeshListKernel const& other) { *this = other; }
  PolyMeshListKernel& operator=(PolyMeshListKernel const& other) {
    if (this == &other) return *this;
    copy_from(m_vertices, m_vertex_table, other.m_vertices, other.m_vertex_table);
    copy_from(m_halfedges, m_halfedge_table, other.m_halfedges, other.m_halfedge_table);
    copy_from(m_edges, m_edge_table, other.m_edges, other.m_edge_table);
    copy_from(m_faces, m_face_table, other.m_faces, other.m_face_table);
    return *this;
  }
  // Moving a std::list keeps its nodes, so the stored positions stay valid.
  PolyMeshListKernel(PolyMeshListKernel&&) = default;
  PolyMeshListKernel& operator=(PolyMeshListKernel&&) = default;

  // -- validity ---------------------------------------------------------------

  bool is_valid_vertex_handle(vertex_handle h) const { return in_use(m_vertex_table, h.get_idx()); }
  bool is_valid_halfedge_handle(halfedge_handle h) const { return in_use(m_halfedge_table, h.get_idx()); }
  bool is_valid_edge_handle(edge_handle h) const { return in_use(m_edge_table, h.get_idx()); }
  bool is_valid_face_handle(face_handle h) const { return in_use(m_face_table, h.get_idx()); }

  // -- lookup: the null handle gives the end position ---------------------------

  vertex_iterator get_vertex_iterator(vertex_handle h) {
    return h.is_null() ? m_vertices.end() : m_vertex_table[h.get_idx()].m_position;
  }
  halfedge_iterator get_halfedge_iterator(halfedge_handle h) {
    return h.is_null() ? m_halfedges.end() : m_halfedge_table[h.get_idx()].m_position;
  }
  edge_iterator get_edge_iterator(edge_handle h) {
    return h.is_null() ? m_edges.end() : m_edge_table[h.get_idx()].m_position;
  }
  face_iterator get_face_iterator(face_handle h) {
    return h.is_null() ? m_faces.end() : m_face_table[h.get_idx()].m_position;
  }

  // -- record creation ----------------------------------------------------------

  vertex_handle create_vertex() { return create<vertex_handle>(m_vertices, m_vertex_table); }
  halfedge_handle create_halfedge() { return create<halfedge_handle>(m_halfedges, m_halfedge_table); }
  edge_handle create_edge() { return create<edge_handle>(m_edges, m_edge_table); }
  face_handle create_face() { return create<face_handle>(m_faces, m_face_table); }

  // -- record removal: nothing happens for a handle that is not in use ----------

  void erase_vertex(vertex_handle h) { erase(m_vertices, m_vertex_table, h.get_idx()); }
  void erase_halfedge(halfedge_handle h) { erase(m_halfedges, m_halfedge_table, h.get_idx()); }
  void erase_edge(edge_handle h) { erase(m_edges, m_edge_table, h.get_idx()); }
  void erase_face(face_handle h) { erase(m_faces, m_face_table, h.get_idx()); }

  // -- whole lists, in creation order -------------------------------------------

  vertex_list& vertices() { return m_vertices; }
  vertex_list const& vertices() const { return m_vertices; }
  halfedge_list& halfedges() { return m_halfedges; }
  halfedge_list const& halfedges() const { return m_halfedges; }
  edge_list& edges() { return m_edges; }
  edge_list const& edges() const { return m_edges; }
  face_list& faces() { return m_faces; }
  face_list const& faces() const { return m_faces; }

  vertex_table const& vertex_handle_table() const { return m_vertex_table; }
  halfedge_table const& halfedge_handle_table() const { return m_halfedge_table; }
  edge_table const& edge_handle_table() const { return m_edge_table; }
  face_table const& face_handle_table() const { return m_face_table; }

  void clear() {
    m_vertices.clear();
    m_halfedges.clear();
    m_edges.clear();
    m_faces.clear();
    m_vertex_table.clear();
    m_halfedge_table.clear();
    m_edge_table.clear();
    m_face_table.clear();
  }

 private:
  template <typename Table>
  static bool in_use(Table const& table, std::uint32_t idx) {
    return idx < table.size() && table[idx].m_in_use;
  }

  template <typename Handle, typename List, typename Table>
  static Handle create(List& list, Table& table) {
    Handle const h(static_cast<typename Handle::index_type>(table.size()));
    list.emplace_back();
    auto pos = std::prev(list.end());
    pos->m_self = h;
    table.push_back({true, pos});
    return h;
  }

  // Copies a list and rebuilds the table so that it points into our own list.
  template <typename List, typename Table>
  static void copy_from(List& list, Table& table, List const& other_list, Table const& other_table) {
    list = other_list;
    table.assign(other_table.size(), {});
    for (auto& e : table) e.m_position = list.end();
    for (auto it = list.begin(); it != list.end(); ++it) {
      table[it->m_self.get_idx()] = {true, it};
    }
  }

  template <typename List, typename Table>
  static void erase(List& list, Table& table, std::uint32_t idx) {
    if (!in_use(table, idx)) return;
    list.erase(table[idx].m_position);
    table[idx].m_in_use = false;
    table[idx].m_position = list.end();
  }

  vertex_list m_vertices;
  halfedge_list m_halfedges;
  edge_list m_edges;
  face_list m_faces;
  vertex_table m_vertex_table;
  halfedge_table m_halfedge_table;
  edge_table m_edge_table;
  face_table m_face_table;
};

}  // namespace polymesh
}  // namespace Quarvel

#endif
