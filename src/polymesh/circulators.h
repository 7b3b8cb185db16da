#ifndef FROTH_POLYMESH_CIRCULATORS_H
#define FROTH_POLYMESH_CIRCULATORS_H

#include <type_traits>

#include "polymesh/handles.h"

namespace Quarvel {
namespace polymesh {

/// End marker for range-for over a circulator.
struct circulator_end {};

/// Walks the half-edges of a face loop (advancing by m_next), or the outgoing
/// half-edges of a vertex (advancing from h to twin(h).m_next). A circulator
/// knows where it started and stops when it gets back there, or when a link is
/// null; one that starts at a null handle is empty. It allocates nothing.
///
/// Usable directly (`for (C c(m, f); c; ++c) c->...`) or in range-for
/// (`for (auto& h : C(m, f))`). Mesh may be const-qualified.
template <typename Mesh, bool AroundVertex>
class HalfedgeCirculator {
  using mesh_type = std::remove_const_t<Mesh>;
  using record_type = std::conditional_t<std::is_const<Mesh>::value,
                                         typename mesh_type::halfedge_type const,
                                         typename mesh_type::halfedge_type>;

 public:
  HalfedgeCirculator(Mesh& mesh, halfedge_handle start)
      : m_mesh(&mesh), m_start(start), m_current(start) {}

  HalfedgeCirculator(Mesh& mesh, face_handle f)
      : HalfedgeCirculator(mesh, f.is_null() ? halfedge_handle() : mesh.get_face(f).m_border_halfedge) {
    static_assert(!AroundVertex, "a face handle starts a face circulator");
  }

  HalfedgeCirculator(Mesh& mesh, vertex_handle v)
      : HalfedgeCirculator(mesh, v.is_null() ? halfedge_handle() : mesh.get_vertex(v).m_outgoing_halfedge) {
    static_assert(AroundVertex, "a vertex handle starts a vertex circulator");
  }

  /// True while the circulator stands on a half-edge it has not yet yielded.
  explicit operator bool() const { return !m_current.is_null(); }
  halfedge_handle handle() const { return m_current; }
  halfedge_handle start() const { return m_start; }

  record_type& operator*() const { return m_mesh->get_halfedge(m_current); }
  record_type* operator->() const { return &m_mesh->get_halfedge(m_current); }

  HalfedgeCirculator& operator++() {
    auto const& h = m_mesh->get_halfedge(m_current);
    halfedge_handle next;
    if (AroundVertex) {
      if (!h.m_twin.is_null()) next = m_mesh->get_halfedge(h.m_twin).m_next;
    } else {
      next = h.m_next;
    }
    m_current = (next == m_start) ? halfedge_handle() : next;
    return *this;
  }

  HalfedgeCirculator begin() const { return *this; }
  circulator_end end() const { return {}; }
  bool operator!=(circulator_end) const { return !m_current.is_null(); }

 private:
  Mesh* m_mesh;
  halfedge_handle m_start;
  halfedge_handle m_current;
};

}  // namespace polymesh
}  // namespace Quarvel

#endif
