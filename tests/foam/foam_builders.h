#ifndef FROTH_TESTS_FOAM_FOAM_BUILDERS_H
#define FROTH_TESTS_FOAM_FOAM_BUILDERS_H

// Foams shared by the tests: generated ones as the rebuild command makes them,
// and a hand-built honeycomb.

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "foam/simulation_parameters.h"
#include "foam/dual_foam.h"
#include "foam/foam_file.h"
#include "foam/foam_session.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"
#include "polymesh/mesh_builders.h"

namespace froth_test {

/// The foam as its file holds it.
inline std::string to_text(FoamMesh const& foam) {
  std::ostringstream out;
  Quarvel::kordal::write_foam(foam, out);
  return out.str();
}

/// The foam of the given sites as the rebuild command builds it: generation
/// with pressure scale 1 and film tension 0.25, the outer bubble (pressure 0)
/// when with_outer, then every pressure reset to 1.0 (the outer bubble's target
/// area its computed area, 0).
inline FoamMesh make_foam_from_sites(std::vector<vector3_type> const& sites, bool with_outer = true) {
  FoamMesh foam;
  Quarvel::kordal::generate_foam(foam, sites, 1.0, Quarvel::kordal::SimulationParameters{}.m_film_tension);
  if (with_outer) Quarvel::kordal::close_open_boundary(foam, 0.0);
  Quarvel::kordal::reset_pressures(foam);
  return foam;
}

/// Seeds the generator with seed and draws count random sites for a 960 x 540
/// window (x in [-48, 48], y in [-27, 27]).
inline std::vector<vector3_type> make_seeded_sites(unsigned seed, int count) {
  std::vector<vector3_type> sites;
  Quarvel::kordal::seed_random_generator(seed);
  Quarvel::kordal::make_random_sites(sites, count, 960.0, 540.0);
  return sites;
}

/// The foam of make_seeded_sites(seed, count), built like make_foam_from_sites.
inline FoamMesh make_generated_foam(unsigned seed, int count, bool with_outer = true) {
  return make_foam_from_sites(make_seeded_sites(seed, count), with_outer);
}

/// The foam of preset site set n (1 to 3), built like make_foam_from_sites.
inline FoamMesh make_preset_foam(int n, bool with_outer = true) {
  std::vector<vector3_type> sites;
  Quarvel::kordal::load_preset_sites(sites, n);
  return make_foam_from_sites(sites, with_outer);
}

/// A honeycomb of regular hexagons with unit sides: the centre bubble (first) and
/// `rings` rings around it (7 bubbles for one ring, 19 for two), bubble loops
/// clockwise; the border junctions have two films, the others three. Film
/// tension 0.25, every pressure 1.0, every target area the bubble's area
/// (3 sqrt(3) / 2). With with_outer the open border is closed by the outer
/// bubble, also at pressure 1.0, so that every film is straight and every
/// angle of an ordinary bubble is 2 pi / 3.
inline void make_hexagon_foam(FoamMesh& foam, int rings, bool with_outer) {
  foam.clear();
  foam.m_film_tension = 0.25;
  std::map<std::pair<long, long>, vertex_handle> corners;
  auto corner = [&](double x, double y) {
    std::pair<long, long> const key(std::lround(x * 1024.0), std::lround(y * 1024.0));
    auto const found = corners.find(key);
    if (found != corners.end()) return found->second;
    vertex_handle const v = foam.add_vertex(vector3_type(x, y, 0.0));
    corners.emplace(key, v);
    return v;
  };
  // Flat-topped hexagons in axial coordinates (q, r), ring by ring, each ring
  // walked around so that every new bubble touches the ones before it.
  int const dq[6] = {1, 0, -1, -1, 0, 1};
  int const dr[6] = {0, 1, 1, 0, -1, -1};
  std::vector<std::pair<int, int>> cells{{0, 0}};
  for (int k = 1; k <= rings; ++k) {
    int q = dq[4] * k, r = dr[4] * k;
    for (int side = 0; side < 6; ++side) {
      for (int step = 0; step < k; ++step) {
        cells.emplace_back(q, r);
        q += dq[side];
        r += dr[side];
      }
    }
  }
  for (auto const& c : cells) {
    double const cx = 1.5 * c.first;
    double const cy = std::sqrt(3.0) * (c.second + 0.5 * c.first);
    std::vector<vertex_handle> loop;
    for (int i = 0; i < 6; ++i) {
      double const a = -i * M_PI / 3.0;  // decreasing angles: a clockwise loop
      loop.push_back(corner(cx + std::cos(a), cy + std::sin(a)));
    }
    face_handle const f = foam.add_face(loop);
    EXPECT_FALSE(f.is_null()) << "honeycomb bubble at (" << c.first << ", " << c.second << ") was refused";
  }
  if (with_outer) Quarvel::kordal::close_open_boundary(foam, 1.0);
  for (auto& f : foam.faces()) f.m_pressure = 1.0;
  for (auto& f : foam.faces()) f.m_target_area = Quarvel::kordal::compute_area(f);
}

/// Polygon area of a bubble by the shoelace formula, positive for a clockwise
/// loop; independent of the pressures.
inline double polygon_area(FoamMesh const& foam, FoamMesh::face_type const& f) {
  double twice = 0.0;
  for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
    auto const& a = foam.get_vertex(foam.origin(c.handle())).m_coord;
    auto const& b = foam.get_vertex(c->m_destination).m_coord;
    twice += b.x * a.y - a.x * b.y;
  }
  return 0.5 * twice;
}

}  // namespace froth_test

#endif
