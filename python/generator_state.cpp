#include "generator_state.h"

#include <stdlib.h>

namespace Quarvel {
namespace python {

GeneratorState::GeneratorState(unsigned seed) {
  // initstate() seeds the buffer as srandom() would and switches to it.
  char* const previous = ::initstate(seed, m_words.data(), m_words.size());
  ::setstate(previous);
}

GeneratorState::Use::Use(GeneratorState& state) : m_previous(::setstate(state.m_words.data())) {}

GeneratorState::Use::~Use() {
  if (m_previous != nullptr) ::setstate(m_previous);
}

}  // namespace python
}  // namespace Quarvel
