#ifndef FROTH_FOAM_SITE_SETS_H
#define FROTH_FOAM_SITE_SETS_H

#include <vector>

#include "math/basic_math_types.h"

namespace Quarvel {
namespace kordal {

using vector3_type = math::BasicMathTypes::vector3_type;

/// Replaces sites by count random sites (none for count <= 0). With
/// h = 0.05 height each site is random_vector(-h, h) with x scaled by
/// width / height and z = 0: at 960 x 540 they fill [-48, 48] x [-27, 27].
/// No minimum distance is kept; duplicates are passed on unchanged.
void make_random_sites(std::vector<vector3_type>& sites, int count, double width, double height);

/// Replaces sites by preset site set n in its stored order: 220 sites for
/// n = 1, 193 for n = 2, 64 for n = 3, every coordinate with at most six
/// significant digits and z = 0. Any other n leaves sites empty.
void load_preset_sites(std::vector<vector3_type>& sites, int n);

}  // namespace kordal
}  // namespace Quarvel

#endif
