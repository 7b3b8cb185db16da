#ifndef FROTH_FOAM_FOAM_TRAITS_H
#define FROTH_FOAM_FOAM_TRAITS_H

#include <cstdint>

#include "foam/random_source.h"

namespace Quarvel {
namespace kordal {

/// Data of a junction (a mesh vertex).
template <typename Types>
class JunctionTraits {
 public:
  typename Types::vector3_type m_coord{};  ///< position; z is always 0
};

/// Data of a film (a mesh edge).
template <typename Types>
class FilmTraits {
 public:
  bool m_created_by_t1 = false;  ///< set on a film a T1 made during the current loop
};

/// Data of a border (a half-edge): none that the foam uses.
template <typename Types>
class BorderTraits {};

/// Data of a bubble (a mesh face).
template <typename Types>
class BubbleTraits {
 public:
  using real_type = typename Types::real_type;

  BubbleTraits() = default;
  BubbleTraits(BubbleTraits const&) = default;
  BubbleTraits& operator=(BubbleTraits const&) = default;
  virtual ~BubbleTraits() = default;

  std::uint32_t m_tag = 0;     ///< the bubble's identity: unique in its foam, kept through T1, T2 and rebuilds
  real_type m_pressure = 0;    ///< gas pressure
  real_type m_target_area = 0; ///< area that equilibration drives the bubble towards
  bool m_is_outer = false;     ///< the bubble that closes the open boundary; its area counts as 0
};

/// Data of the whole foam (members of the mesh itself).
template <typename Types>
class FoamTraits {
 public:
  using real_type = typename Types::real_type;
  real_type m_outside_pressure = 1.0;  ///< pressure shown for a border side without a bubble
  real_type m_film_tension = 0.0;      ///< tension of one film surface
  GeneratorState m_generator{};         ///< the generator as the foam file records it
};

}  // namespace kordal
}  // namespace Quarvel

#endif
