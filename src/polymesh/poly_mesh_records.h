#ifndef FROTH_POLYMESH_POLY_MESH_RECORDS_H
#define FROTH_POLYMESH_POLY_MESH_RECORDS_H

#include "polymesh/handles.h"

namespace Quarvel {
namespace polymesh {

// The four element records. Each derives from its traits class, so the data
// that a user of the kernel attaches (positions, pressures, ...) sits inside
// the record. A fresh record has every link null and no owner.

template <typename Mesh, typename Traits>
class PolyMeshVertex : public Traits {
 public:
  vertex_handle m_self;
  Mesh* m_owner = nullptr;
  halfedge_handle m_outgoing_halfedge;  ///< null for an isolated vertex
};

template <typename Mesh, typename Traits>
class PolyMeshHalfEdge : public Traits {
 public:
  halfedge_handle m_self;
  Mesh* m_owner = nullptr;
  halfedge_handle m_next;
  halfedge_handle m_prev;
  face_handle m_face;  ///< null on the open boundary
  halfedge_handle m_twin;
  vertex_handle m_destination;
  edge_handle m_edge;
};

template <typename Mesh, typename Traits>
class PolyMeshEdge : public Traits {
 public:
  edge_handle m_self;
  Mesh* m_owner = nullptr;
  halfedge_handle m_halfedge0;
  halfedge_handle m_halfedge1;
};

template <typename Mesh, typename Traits>
class PolyMeshFace : public Traits {
 public:
  face_handle m_self;
  Mesh* m_owner = nullptr;
  halfedge_handle m_border_halfedge;  ///< the face loop starts here
};

}  // namespace polymesh
}  // namespace Quarvel

#endif
