#ifndef FROTH_TOOLS_AREA_CHANGE_H
#define FROTH_TOOLS_AREA_CHANGE_H

#include <array>
#include <cstdint>
#include <vector>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace batch {

/// Mean change of the computed area over one loop, by number of films n
/// from 3 to 12: the measured test of von Neumann's law, dA/dt = k (n - 6).
struct AreaChanges {
  static constexpr unsigned smallest_n = 3;
  static constexpr unsigned largest_n = 12;
  std::array<double, largest_n - smallest_n + 1> m_mean{};          ///< mean change of the n-film bubbles
  std::array<std::uint32_t, largest_n - smallest_n + 1> m_count{};  ///< bubbles the mean is over (0: none)
};

/// Follows the bubbles through one loop. A bubble counts when it is measured
/// (not the outer bubble, no film on an open border) before and after the
/// loop, keeps its handle, and has the same number of films at both ends;
/// a bubble that a T2 rebuilt, or that a T1 gave or took a film, is left
/// out. Keeps its buffers between loops.
class AreaChangeTracker {
 public:
  /// Records every measured bubble's area and film count.
  void before(kordal::FoamMesh const& foam);
  /// Compares with what before() recorded.
  AreaChanges after(kordal::FoamMesh const& foam) const;

 private:
  std::vector<double> m_area;          // by face handle index
  std::vector<std::uint32_t> m_films;  // by face handle index; 0 when not recorded
};

}  // namespace batch
}  // namespace Quarvel

#endif
