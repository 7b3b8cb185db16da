#ifndef FROTH_FOAM_RANDOM_SOURCE_H
#define FROTH_FOAM_RANDOM_SOURCE_H

#include <cstdint>

#include "math/basic_math_types.h"

namespace Quarvel {
namespace kordal {

using vector3_type = math::BasicMathTypes::vector3_type;

/// Largest value of random_draw().
constexpr int random_draw_max = 32767;

/// Where the seed comes from when none was given explicitly.
using seed_clock = unsigned (*)();

/// The current calendar time in seconds, as a seed.
unsigned current_time_seed();

/// Replaces the seed clock (tests count its calls); null restores
/// current_time_seed.
void set_seed_clock(seed_clock clock);

/// Seeds the runtime's generator with seed. Later draws use this sequence and
/// never consult the clock, until forget_random_seed().
void seed_random_generator(unsigned seed);

/// Returns the generator to its start-of-run state: the next draw seeds it
/// once from the clock.
void forget_random_seed();

/// The next value of the runtime's generator, 0 to random_draw_max. The first
/// draw of a run that was not seeded explicitly seeds it once from the clock.
/// The runtime's own range is cut to 15 bits (its high bits), so that every
/// platform draws from the same range.
int random_draw();

/// Where the runtime's generator stands: its seed and the number of draws
/// taken since. A foam file carries it, so that a loaded foam goes on with
/// the same draws as the run it was saved from.
struct GeneratorState {
  bool m_known = false;  ///< false until the generator is seeded
  unsigned m_seed = 0;
  std::uint64_t m_draws = 0;
};

/// The generator's state now (m_known false before the first seeding).
GeneratorState generator_state();

/// Seeds the generator with the state's seed and replays its draws; a state
/// that is not known leaves the generator as it is.
void restore_generator(GeneratorState const& state);

/// Takes `state` as where the generator stands, without touching the
/// runtime's sequence: for a caller that switches between sequences of the
/// runtime's generator itself and keeps each one's position.
void adopt_generator_state(GeneratorState const& state);

/// x, y and z from three successive draws r, each lo + (r / 32767)(hi - lo):
/// every coordinate lies in [lo, hi], both ends included.
vector3_type random_vector(double lo, double hi);

}  // namespace kordal
}  // namespace Quarvel

#endif
