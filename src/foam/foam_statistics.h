#ifndef FROTH_FOAM_FOAM_STATISTICS_H
#define FROTH_FOAM_FOAM_STATISTICS_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "foam/foam_geometry.h"

namespace Quarvel {
namespace kordal {

/// Measures a foam: counts, the side-number distribution with its mean and
/// second moment, area and angle equilibrium. Only reads the foam.
///
/// A measured bubble is neither the outer bubble nor next to the open border
/// (no film of it lacks a bubble on the other side). A measured junction has
/// films and a bubble in every sector. The T1 and T2 totals are kept by the
/// owner; update() leaves them, and m_step_time, alone.
template <typename Mesh>
class FoamStatistics {
 public:
  Mesh* m_mesh;                        ///< the measured foam, not owned
  double m_reference_angle;            ///< the Plateau angle 2 pi / 3
  double m_step_time;                  ///< seconds of the last timed operation
  std::uint32_t m_cell_count;          ///< measured bubbles
  std::uint32_t m_vertex_count;        ///< measured junctions
  std::uint32_t m_t1_total;            ///< T1 events since the last reset
  std::uint32_t m_t2_total;            ///< T2 events since the last reset
  double m_mean_target_area;           ///< mean target area; 1 without bubbles
  double m_mean_angle;                 ///< mean junction angle (radians)
  double m_mean_area;                  ///< mean computed area
  double m_mean_edges;                 ///< mean number of films per bubble
  double m_angle_error;                ///< mean |reference angle - angle|
  double m_area_error;                 ///< mean |target area - area|
  double m_second_moment;              ///< sum over n of (n - mean edges)^2 p(n)
  std::vector<double> m_distribution;  ///< p(n): fraction of bubbles with n films

  explicit FoamStatistics(Mesh* mesh) : m_mesh(mesh) {
    double const pi = 3.141592653589793;
    m_reference_angle = (pi + pi) / 3.0;
    reset();
  }
  FoamStatistics(FoamStatistics const&) = default;
  FoamStatistics& operator=(FoamStatistics const&) = default;
  virtual ~FoamStatistics() = default;

  /// Zeroes every value and both totals, empties the distribution, and sets
  /// the mean target area to 1.
  void reset() {
    m_step_time = 0.0;
    m_cell_count = 0;
    m_vertex_count = 0;
    m_t1_total = 0;
    m_t2_total = 0;
    m_mean_target_area = 1.0;
    m_mean_angle = 0.0;
    m_mean_area = 0.0;
    m_mean_edges = 0.0;
    m_angle_error = 0.0;
    m_area_error = 0.0;
    m_second_moment = 0.0;
    m_distribution.clear();
  }

  /// Recomputes every measured value from the foam, in one pass over the
  /// bubbles and one over the junctions.
  void update() {
    m_distribution.clear();
    m_mean_edges = m_mean_area = m_mean_target_area = m_area_error = 0.0;
    m_second_moment = m_mean_angle = m_angle_error = 0.0;
    Mesh const& mesh = *m_mesh;

    m_cell_count = static_cast<std::uint32_t>(mesh.face_size());
    for (auto const& f : mesh.faces()) {
      if (!is_measured(f)) {
        --m_cell_count;
        continue;
      }
      unsigned const n = film_count(f);
      if (m_distribution.size() < n + 1) m_distribution.resize(n + 1, 0.0);
      m_distribution[n] += 1.0;
      m_mean_edges += n;
      double const area = compute_area(f);
      m_mean_area += area;
      m_mean_target_area += f.m_target_area;
      m_area_error += std::abs(f.m_target_area - area);
    }
    if (m_cell_count > 0) {
      double const cells = m_cell_count;
      m_mean_area /= cells;
      m_mean_target_area /= cells;
      m_area_error /= cells;
      m_mean_edges /= cells;
      for (double& p : m_distribution) p /= cells;
      for (std::size_t n = 0; n < m_distribution.size(); ++n) {
        double const d = double(n) - m_mean_edges;
        m_second_moment += d * d * m_distribution[n];
      }
    } else {
      m_mean_target_area = 1.0;
    }

    m_vertex_count = static_cast<std::uint32_t>(mesh.vertex_size());
    std::uint32_t angles = 0;
    for (auto const& v : mesh.vertices()) {
      // A measured junction has a bubble in every sector, so its circulation
      // starts at m_outgoing_halfedge.
      if (is_boundary(v)) {
        --m_vertex_count;
        continue;
      }
      for (typename Mesh::const_vertex_halfedge_circulator c(mesh, v.m_self); c; ++c) {
        auto const& f = mesh.get_face(c->m_face);
        if (f.m_is_outer) continue;
        double const theta = junction_angle(f, v);
        m_mean_angle += theta;
        m_angle_error += std::abs(m_reference_angle - theta);
        ++angles;
      }
    }
    if (angles > 0) {
      m_mean_angle /= angles;
      m_angle_error /= angles;
    }
  }

 private:
  template <typename Face>
  static bool is_measured(Face const& f) {
    if (f.m_is_outer) return false;
    auto const& mesh = *f.m_owner;
    for (typename Mesh::const_face_halfedge_circulator c(mesh, f.m_self); c; ++c) {
      if (mesh.get_halfedge(c->m_twin).m_face.is_null()) return false;
    }
    return true;
  }
};

}  // namespace kordal
}  // namespace Quarvel

#endif
