#include "foam/random_source.h"

#include <climits>
#include <cstdlib>
#include <ctime>

namespace Quarvel {
namespace kordal {

namespace {

seed_clock g_clock = &current_time_seed;
bool g_seeded = false;
unsigned g_seed = 0;
std::uint64_t g_draws = 0;

static_assert(RAND_MAX >= random_draw_max, "the runtime's generator has fewer than 15 bits");

// Dividing by the size of one 15-bit step keeps the high bits, which are the
// better ones of a linear generator.
constexpr unsigned long draw_divisor = (static_cast<unsigned long>(RAND_MAX) + 1ul) / (random_draw_max + 1ul);

}  // namespace

unsigned current_time_seed() { return static_cast<unsigned>(std::time(nullptr)); }

void set_seed_clock(seed_clock clock) { g_clock = clock ? clock : &current_time_seed; }

void seed_random_generator(unsigned seed) {
  std::srand(seed);
  g_seeded = true;
  g_seed = seed;
  g_draws = 0;
}

void forget_random_seed() { g_seeded = false; }

int random_draw() {
  if (!g_seeded) seed_random_generator(g_clock());
  ++g_draws;
  return static_cast<int>(static_cast<unsigned long>(std::rand()) / draw_divisor);
}

GeneratorState generator_state() { return GeneratorState{g_seeded, g_seed, g_draws}; }

void restore_generator(GeneratorState const& state) {
  if (!state.m_known) return;
  seed_random_generator(state.m_seed);
  for (std::uint64_t i = 0; i < state.m_draws; ++i) std::rand();
  g_draws = state.m_draws;
}

void adopt_generator_state(GeneratorState const& state) {
  g_seeded = state.m_known;
  g_seed = state.m_seed;
  g_draws = state.m_draws;
}

vector3_type random_vector(double lo, double hi) {
  // Three separate statements fix the order of the draws: x, then y, then z.
  double const x = lo + (random_draw() / double(random_draw_max)) * (hi - lo);
  double const y = lo + (random_draw() / double(random_draw_max)) * (hi - lo);
  double const z = lo + (random_draw() / double(random_draw_max)) * (hi - lo);
  return vector3_type(x, y, z);
}

}  // namespace kordal
}  // namespace Quarvel
