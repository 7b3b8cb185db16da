#include "foam/site_sets.h"

#include "foam/random_source.h"

namespace Quarvel {
namespace kordal {

void make_random_sites(std::vector<vector3_type>& sites, int count, double width, double height) {
  sites.clear();
  if (count <= 0) return;
  sites.reserve(static_cast<std::size_t>(count));
  double const h = 0.05 * height;
  double const aspect = width / height;
  for (int i = 0; i < count; ++i) {
    // The z draw is made and dropped, so that a site always uses three draws.
    vector3_type p = random_vector(-h, h);
    p.x *= aspect;
    p.z = 0.0;
    sites.push_back(p);
  }
}

}  // namespace kordal
}  // namespace Quarvel
