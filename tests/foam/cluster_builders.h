#ifndef FROTH_TESTS_FOAM_CLUSTER_BUILDERS_H
#define FROTH_TESTS_FOAM_CLUSTER_BUILDERS_H

// Small closed clusters built by hand: every junction three-fold, the open
// border closed by an outer bubble.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foam/foam_file.h"
#include "foam/foam_geometry.h"
#include "polymesh/mesh_builders.h"

namespace froth_test {

/// Handles of a ring cluster.
struct RingCluster {
  face_handle centre;
  std::vector<face_handle> ring;  ///< ring[i] lies between spokes i and i+1
  face_handle outer;
  std::vector<vertex_handle> inner;  ///< corners of the centre bubble, at angle i * 2 pi / n
  std::vector<vertex_handle> rim;    ///< rim[i] lies radially outside inner[i]
};

/// A centre n-gon bubble (corners at radius r_inner), n quadrilateral ring
/// bubbles between it and a rim n-gon at radius r_outer, and the outer bubble
/// beyond the rim: n + 1 bubbles and 2n junctions (2 x bubbles - 2), each with
/// three films; bubble loops run clockwise. Film tension 0.25, every pressure
/// 1.0 (so every film is straight), every target area the bubble's area, the
/// outer bubble's 0. For n = 6 the centre corners are in equilibrium (three
/// 120 degree angles); the rim corners are not.
inline RingCluster make_ring_cluster(FoamMesh& foam, int n, double r_inner = 1.0, double r_outer = 2.0) {
  foam.clear();
  foam.m_film_tension = 0.25;
  RingCluster c;
  for (int i = 0; i < n; ++i) {
    double const a = 2.0 * M_PI * i / n;
    c.inner.push_back(foam.add_vertex(vector3_type(r_inner * std::cos(a), r_inner * std::sin(a), 0.0)));
  }
  for (int i = 0; i < n; ++i) {
    double const a = 2.0 * M_PI * i / n;
    c.rim.push_back(foam.add_vertex(vector3_type(r_outer * std::cos(a), r_outer * std::sin(a), 0.0)));
  }
  // Clockwise: decreasing angle.
  std::vector<vertex_handle> centre;
  for (int i = n - 1; i >= 0; --i) centre.push_back(c.inner[i]);
  c.centre = foam.add_face(centre);
  EXPECT_FALSE(c.centre.is_null());
  for (int i = 0; i < n; ++i) {
    int const j = (i + 1) % n;
    c.ring.push_back(foam.add_face(std::vector<vertex_handle>{c.inner[i], c.inner[j], c.rim[j], c.rim[i]}));
    EXPECT_FALSE(c.ring.back().is_null());
  }
  c.outer = foam.add_face(c.rim);
  EXPECT_FALSE(c.outer.is_null());
  foam.get_face(c.outer).m_is_outer = true;
  // Pressures first: an area depends on the pressures across its films.
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  for (auto& f : foam.faces()) f.m_target_area = Quarvel::kordal::compute_area(f);
  return c;
}

/// A foam of the test data (tests/foam/data), such as a saved moment of a
/// run that once went wrong.
inline FoamMesh load_data_foam(std::string const& name) {
  FoamMesh foam;
  std::string error;
  EXPECT_TRUE(Quarvel::kordal::load_foam(std::string(FROTH_TEST_DATA_DIR) + "/" + name, foam, error)) << error;
  return foam;
}

}  // namespace froth_test

#endif
