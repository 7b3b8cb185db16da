#ifndef FROTH_FOAM_TRIANGULATE_SITES_H
#define FROTH_FOAM_TRIANGULATE_SITES_H

#include <vector>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace kordal {

using vector3_type = math::BasicMathTypes::vector3_type;

/// True when the sites can be handed to the triangulator: every x and y is
/// finite, and there are three distinct sites not on one line. The line test
/// is exact (no rounding), the same test the triangulator makes.
bool sites_span_plane(std::vector<vector3_type> const& sites);

/// The Delaunay triangulation of the sites' x and y as the triangulator
/// reports it: its output points (z = 0), the sites first (duplicates
/// included) and then the points it adds on the hull so that every
/// circumcentre lies inside the hull (at most 2 n + 1000 of them); and three
/// point numbers per triangle, counter-clockwise, in the order reported. Both
/// come back empty for sites that fail sites_span_plane, without a call.
/// Throws boost::numeric::positive_overflow for more than 2147483647 sites.
void delaunay_triangulation(std::vector<vector3_type> const& sites, std::vector<vector3_type>& points,
                            std::vector<int>& corners);

/// Replaces the content of mesh by the Delaunay triangulation of the sites'
/// x and y (delaunay_triangulation): one junction per output point, in order
/// (a duplicate site stays an isolated junction), and one counter-clockwise
/// face per triangle, in order; a triangle that the mesh refuses is left out.
/// Sites that fail sites_span_plane leave the mesh empty.
void triangulate_sites(std::vector<vector3_type> const& sites, FoamMesh& mesh);

}  // namespace kordal
}  // namespace Quarvel

#endif
