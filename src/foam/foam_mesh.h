#ifndef FROTH_FOAM_FOAM_MESH_H
#define FROTH_FOAM_FOAM_MESH_H

#include "foam/foam_traits.h"
#include "math/basic_math_types.h"
#include "polymesh/poly_mesh.h"

namespace Quarvel {
namespace kordal {

/// The foam: junctions are vertices, films edges, borders half-edges and
/// bubbles faces, each record carrying its foam data. The temporary triangle
/// mesh of foam generation has the same type.
using FoamMesh = polymesh::PolyMesh<math::BasicMathTypes, JunctionTraits<math::BasicMathTypes>,
                                    BorderTraits<math::BasicMathTypes>, FilmTraits<math::BasicMathTypes>,
                                    BubbleTraits<math::BasicMathTypes>, FoamTraits<math::BasicMathTypes>,
                                    polymesh::PolyMeshListKernel>;

}  // namespace kordal
}  // namespace Quarvel

#endif
