#include "generator_state.h"

#include <stdlib.h>

namespace Quarvel {
namespace python {

GeneratorState::GeneratorState(unsigned seed) : m_position{true, seed, 0} {
  // initstate() seeds the buffer as srandom() would and switches to it.
  char* const previous = ::initstate(seed, m_words.data(), m_words.size());
  ::setstate(previous);
}

GeneratorState::Use::Use(GeneratorState& state)
    : m_state(state), m_outside(kordal::generator_state()), m_previous(::setstate(state.m_words.data())) {
  kordal::adopt_generator_state(state.m_position);
}

GeneratorState::Use::~Use() {
  m_state.m_position = kordal::generator_state();
  kordal::adopt_generator_state(m_outside);
  if (m_previous != nullptr) ::setstate(m_previous);
}

}  // namespace python
}  // namespace Quarvel
