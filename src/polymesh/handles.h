#ifndef FROTH_POLYMESH_HANDLES_H
#define FROTH_POLYMESH_HANDLES_H

#include <cstdint>
#include <functional>
#include <ostream>

namespace Quarvel {
namespace polymesh {

/// A typed element index. Indices are handed out 0, 1, 2, ... in creation
/// order and never reused until the mesh is cleared; 0xFFFFFFFF is null.
template <typename Tag>
class Handle {
 public:
  using index_type = std::uint32_t;
  static constexpr index_type null_index = 0xFFFFFFFFu;

  constexpr Handle() = default;
  constexpr explicit Handle(index_type idx) : m_idx(idx) {}

  constexpr index_type get_idx() const { return m_idx; }
  constexpr bool is_null() const { return m_idx == null_index; }

  friend constexpr bool operator==(Handle a, Handle b) { return a.m_idx == b.m_idx; }
  friend constexpr bool operator!=(Handle a, Handle b) { return a.m_idx != b.m_idx; }
  friend constexpr bool operator<(Handle a, Handle b) { return a.m_idx < b.m_idx; }
  friend std::ostream& operator<<(std::ostream& out, Handle h) { return out << h.m_idx; }

 private:
  index_type m_idx{null_index};
};

struct vertex_tag {};
struct halfedge_tag {};
struct edge_tag {};
struct face_tag {};

using vertex_handle = Handle<vertex_tag>;
using halfedge_handle = Handle<halfedge_tag>;
using edge_handle = Handle<edge_tag>;
using face_handle = Handle<face_tag>;

}  // namespace polymesh
}  // namespace Quarvel

namespace std {
template <typename Tag>
struct hash<Quarvel::polymesh::Handle<Tag>> {
  size_t operator()(Quarvel::polymesh::Handle<Tag> h) const noexcept { return h.get_idx(); }
};
}  // namespace std

#endif
