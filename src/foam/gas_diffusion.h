#ifndef FROTH_FOAM_GAS_DIFFUSION_H
#define FROTH_FOAM_GAS_DIFFUSION_H

// Von Neumann gas diffusion: one explicit step changes every bubble's target
// area by (n - 6) k, n its number of films and k = tension x permeability x
// 2 pi / 3. Equilibration then carries the geometry along.

#include <ostream>

#include "foam/foam2d_simulator.h"
#include "foam/t1_process.h"
#include "foam/t2_process.h"

namespace Quarvel {
namespace kordal {

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
double Foam2DSimulator<M, P1, P2, P3, P4, P5>::von_neumann_change(face_type const& bubble, unsigned films) const {
  if (bubble.m_is_outer) return 0.0;
  return static_cast<double>(static_cast<int>(films) - 6) * m_von_neumann_coefficient;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::diffuse() {
  if (m_permeability <= 0.0) return false;
  m_von_neumann_coefficient = m_film_tension * m_permeability * two_pi_over_three();
  M& mesh = *m_mesh;
  for (auto& bubble : mesh.faces()) {
    // One walk gives both the film count and whether a film borders nothing.
    unsigned films = 0;
    bool enclosed = true;
    for (typename M::const_face_halfedge_circulator c(mesh, bubble.m_self); c; ++c) {
      ++films;
      if (mesh.get_halfedge(c->m_twin).m_face.is_null()) enclosed = false;
    }
    if (enclosed) bubble.m_target_area += von_neumann_change(bubble, films);
  }
  return true;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
bool Foam2DSimulator<M, P1, P2, P3, P4, P5>::diffuse_junction(vertex_handle junction) {
  if (m_permeability <= 0.0) return false;
  m_von_neumann_coefficient = m_film_tension * m_permeability * two_pi_over_three();
  M& mesh = *m_mesh;
  char label = 'i';
  // Borders without a bubble (an open border) are passed over: no bubble lies
  // on that side whose target area could change.
  halfedge_handle const start = first_outgoing_with_bubble(mesh, junction);
  if (start.is_null()) return true;
  halfedge_handle h = start;
  do {
    face_handle const f = mesh.get_halfedge(h).m_face;
    if (!f.is_null()) {
      auto& bubble = mesh.get_face(f);
      unsigned const n = film_count(bubble);
      if (m_verbose) {
        (*m_log) << "diffusion on bubble_" << label << ": |n| = " << n << " - A = " << bubble.m_target_area
                  << std::endl;
      }
      double const change = von_neumann_change(bubble, n);
      bubble.m_target_area += change;
      if (m_verbose) {
        (*m_log) << "  new area = " << bubble.m_target_area << " - area diff = " << change << std::endl;
      }
      ++label;
    }
    h = mesh.get_halfedge(mesh.twin(h)).m_next;
  } while (h != start && !h.is_null());
  return true;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
