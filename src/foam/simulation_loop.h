#ifndef FROTH_FOAM_SIMULATION_LOOP_H
#define FROTH_FOAM_SIMULATION_LOOP_H

// One simulation loop: every junction, in random order, takes part in a T2,
// or in a T1, or is equilibrated.

#include <utility>

#include "foam/foam2d_simulator.h"
#include "foam/random_source.h"

namespace Quarvel {
namespace kordal {

/// A uniform index in [0, n) from the program's one generator: 15 bits per
/// draw, more draws appended while n exceeds what the bits cover.
inline std::size_t random_index(std::size_t n) {
  std::size_t r = static_cast<std::size_t>(random_draw());
  for (std::size_t range = 0x8000; range < n; range <<= 15) r = (r << 15) | static_cast<std::size_t>(random_draw());
  return r % n;
}

template <typename M, typename P1, typename P2, typename P3, typename P4, typename P5>
void Foam2DSimulator<M, P1, P2, P3, P4, P5>::simulate(unsigned const& max_iterations, double const& tau) {
  M& mesh = *m_mesh;
  for (auto& film : mesh.edges()) film.m_created_by_t1 = false;

  m_junction_order.clear();
  for (auto const& v : mesh.vertices()) m_junction_order.push_back(v.m_self);
  for (std::size_t i = 1; i < m_junction_order.size(); ++i) {
    std::swap(m_junction_order[i], m_junction_order[random_index(i + 1)]);
  }

  for (vertex_handle v : m_junction_order) {
    // A T1 or T2 earlier in this loop may have removed the junction.
    if (v.is_null() || !mesh.is_valid_vertex_handle(v)) continue;
    if (perform_t2(v, max_iterations, tau)) continue;
    if (perform_t1(v, max_iterations, tau)) continue;
    equilibrate(v, max_iterations, tau);
  }
}

}  // namespace kordal
}  // namespace Quarvel

#endif
