#ifndef FROTH_TESTS_FOAM_CLUSTER_BUILDERS_H
#define FROTH_TESTS_FOAM_CLUSTER_BUILDERS_H

// Small closed clusters built by hand: every junction three-fold, the open
// border closed by an outer bubble.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
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

/// The last five bubbles of a 200-site run (seed 123) as it was when the
/// run stalled. Two pairs of three-sided bubbles sit on a six-sided one;
/// bubble 0 (junctions 1 0 4) and bubble 2 (4 0 6) share the film 0-4, and
/// bubble 0 is almost gone. No T1 separates that pair: the film 1-3 that
/// leads away from it is far longer than the pair is wide.
///
///   bubble 5: junctions 4 6 7 5 3 1, six films; the outer bubble: 1 0 6 ... 2 7
inline void make_locked_pair_foam(FoamMesh& foam) {
  std::istringstream in(
      "froth-foam 1\n"
      "film_tension 0.25\n"
      "outside_pressure 1\n"
      "junctions 8\n"
      "200.35063664571149 -8.7683800696856657\n"
      "197.77100023083807 -8.9890802402526724\n"
      "208.83958249928401 -9.4299469747333262\n"
      "215.88452951398654 -11.596963063466543\n"
      "200.36022621797665 -8.7908134253426038\n"
      "208.93296061812873 -9.6272298580147879\n"
      "204.44019567187885 -4.2222814310902699\n"
      "203.2754747169252 1.922806173853207\n"
      "bubbles 6\n"
      "2.6938383534814934 2.2193666828650906 0 3 1 0 4\n"
      "2.6867172214321067 33.620398503721027 0 3 2 3 5\n"
      "4.8482274525826456 1.9600562777695139 0 3 4 0 6\n"
      "172.83672718397838 28.011987584466979 0 3 2 5 7\n"
      "1 0 1 6 0 1 3 2 7 6\n"
      "4.0263618339933833 111.41157446551068 0 6 4 6 7 5 3 1\n"
      "reversed_films 1\n"
      "0 1\n");
  std::string error;
  EXPECT_TRUE(Quarvel::kordal::read_foam(in, "locked pair", foam, error)) << error;
}

}  // namespace froth_test

#endif
