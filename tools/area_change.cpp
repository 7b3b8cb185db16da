#include "area_change.h"

#include <algorithm>

#include "foam/foam_geometry.h"

namespace Quarvel {
namespace batch {

using kordal::FoamMesh;

namespace {

// Films of a measured bubble; 0 for the outer bubble and for one with a film
// on the open border, as the statistics leave them out.
template <typename Face>
std::uint32_t measured_films(FoamMesh const& foam, Face const& f) {
  if (f.m_is_outer) return 0;
  std::uint32_t n = 0;
  for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
    if (foam.get_halfedge(c->m_twin).m_face.is_null()) return 0;
    ++n;
  }
  return n;
}

}  // namespace

void AreaChangeTracker::before(FoamMesh const& foam) {
  std::fill(m_films.begin(), m_films.end(), 0u);
  for (auto const& f : foam.faces()) {
    std::size_t const i = f.m_self.get_idx();
    if (i >= m_films.size()) {
      m_films.resize(i + 1, 0u);
      m_area.resize(i + 1, 0.0);
    }
    m_films[i] = measured_films(foam, f);
    if (m_films[i] != 0) m_area[i] = kordal::compute_area(f);
  }
}

AreaChanges AreaChangeTracker::after(FoamMesh const& foam) const {
  AreaChanges changes;
  for (auto const& f : foam.faces()) {
    std::size_t const i = f.m_self.get_idx();
    if (i >= m_films.size() || m_films[i] == 0) continue;
    std::uint32_t const n = measured_films(foam, f);
    if (n != m_films[i] || n < AreaChanges::smallest_n || n > AreaChanges::largest_n) continue;
    std::size_t const k = n - AreaChanges::smallest_n;
    changes.m_mean[k] += kordal::compute_area(f) - m_area[i];
    ++changes.m_count[k];
  }
  for (std::size_t k = 0; k < changes.m_mean.size(); ++k) {
    if (changes.m_count[k] > 0) changes.m_mean[k] /= changes.m_count[k];
  }
  return changes;
}

}  // namespace batch
}  // namespace Quarvel
