#ifndef FROTH_TESTS_RENDER_THREE_BUBBLE_FOAM_H
#define FROTH_TESTS_RENDER_THREE_BUBBLE_FOAM_H

#include <cmath>
#include <vector>

#include "foam/dual_foam.h"
#include "polymesh/mesh_builders.h"

namespace froth_test {

/// Three 120-degree wedges around junction 0 at the origin, corners 1, 2, 3 on
/// the unit circle at 90, 210 and 330 degrees, each wedge a clockwise
/// triangle (0, i+1, i); the open boundary closed by the outer bubble
/// (pressure 1) unless `closed` is false. Every pressure is 1 and every target
/// area the wedge's area (sqrt(3) / 4), so the foam is in equilibrium.
inline std::vector<vertex_handle> make_three_bubble_foam(FoamMesh& foam, bool closed = true) {
  std::vector<std::pair<double, double>> xy{{0, 0}};
  for (int i = 0; i < 3; ++i) {
    double const a = M_PI / 2 + i * 2 * M_PI / 3;
    xy.push_back({std::cos(a), std::sin(a)});
  }
  auto v = add_points(foam, xy);
  for (int i = 0; i < 3; ++i) {
    face_handle const f = foam.add_face(std::vector<vertex_handle>{v[0], v[1 + (i + 1) % 3], v[1 + i]});
    foam.get_face(f).m_pressure = 1.0;
    foam.get_face(f).m_target_area = std::sqrt(3.0) / 4.0;
  }
  foam.m_film_tension = 0.25;
  if (closed) Quarvel::kordal::close_open_boundary(foam, 1.0);
  return v;
}

}  // namespace froth_test

#endif
