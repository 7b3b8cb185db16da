#include "foam/foam_mesh.h"

// Instantiating the foam mesh once here compiles every member of the kernel
// for the foam's record types.
template class Quarvel::polymesh::PolyMesh<
    Quarvel::math::BasicMathTypes, Quarvel::kordal::JunctionTraits<Quarvel::math::BasicMathTypes>,
    Quarvel::kordal::BorderTraits<Quarvel::math::BasicMathTypes>,
    Quarvel::kordal::FilmTraits<Quarvel::math::BasicMathTypes>,
    Quarvel::kordal::BubbleTraits<Quarvel::math::BasicMathTypes>,
    Quarvel::kordal::FoamTraits<Quarvel::math::BasicMathTypes>, Quarvel::polymesh::PolyMeshListKernel>;
