#ifndef FROTH_PYTHON_GENERATOR_STATE_H
#define FROTH_PYTHON_GENERATOR_STATE_H

#include <array>
#include <cstdint>

#include "foam/random_source.h"

namespace Quarvel {
namespace python {

/// A sequence of the program's generator of its own, so that every simulator
/// of the module draws as froth-batch would, whatever other simulators draw
/// in between. The program's generator is the C library's rand(), which in
/// the GNU C library draws from random()'s state; setstate() switches that
/// state, and saves the position of the one it leaves inside it.
///
/// Each state also keeps its seed and the draws taken from it, which the
/// program's generator reports while the state is in use, so that a foam
/// saved from a simulator carries the simulator's position.
///
/// Only one state is in use at a time: every member and Use is called with
/// the module's core lock held.
class GeneratorState {
 public:
  /// The sequence that srand(seed) starts.
  explicit GeneratorState(unsigned seed);

  /// The seed and the draws taken so far.
  kordal::GeneratorState const& position() const { return m_position; }

  /// Makes the state the one the program's generator draws from, until the
  /// guard ends.
  class Use {
   public:
    explicit Use(GeneratorState& state);
    ~Use();
    Use(Use const&) = delete;
    Use& operator=(Use const&) = delete;

   private:
    GeneratorState& m_state;
    kordal::GeneratorState m_outside;
    char* m_previous;
  };

 private:
  kordal::GeneratorState m_position;
  // random()'s default kind: 31 words of state after one of bookkeeping.
  alignas(std::int32_t) std::array<char, 128> m_words{};
};

}  // namespace python
}  // namespace Quarvel

#endif
