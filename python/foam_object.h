#ifndef FROTH_PYTHON_FOAM_OBJECT_H
#define FROTH_PYTHON_FOAM_OBJECT_H

#include <pybind11/pybind11.h>

#include <cfenv>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "batch_run.h"
#include "generator_state.h"

namespace Quarvel {
namespace python {

/// What a froth.Foam holds: the foam with the simulator and statistics of
/// froth-batch over it, and how many draws of the program's generator
/// building it took (3 per random site), so that a seeded simulator can start
/// where froth-batch's generator stands after the same build. It never moves:
/// the simulator and the statistics point at the foam.
struct FoamObject {
  batch::BatchFoam m_state;
  std::uint64_t m_build_draws = 0;
};

/// The lock held around everything that reads or changes a foam or draws
/// from the program's generator, which is one for the whole process. It is
/// taken with the interpreter lock released, or held only briefly with it,
/// and nothing done under it calls into Python.
std::mutex& core_mutex();

/// Keeps the floating-point environment of the thread as it was: the
/// Triangle library sets the x87 control word when it triangulates (53-bit
/// precision, exceptions unmasked), which would make the interpreter's and
/// numpy's long double arithmetic trap. The core computes in double only.
class FloatingPointGuard {
 public:
  FloatingPointGuard() { std::fegetenv(&m_environment); }
  ~FloatingPointGuard() { std::fesetenv(&m_environment); }
  FloatingPointGuard(FloatingPointGuard const&) = delete;
  FloatingPointGuard& operator=(FloatingPointGuard const&) = delete;

 private:
  std::fenv_t m_environment;
};

/// Runs `work` with the interpreter lock released and the core lock held.
template <typename Work>
auto in_core(Work&& work) {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(core_mutex());
  FloatingPointGuard const guard;
  return work();
}

/// The generator as froth-batch's stands when its loops start on this foam.
/// Without a seed, the one the foam carries (from its build, its file or the
/// last simulator that ran it) where it stands, or one seeded by the time
/// when it carries none; with a seed, that seed after the foam's build draws.
/// Called with the core lock held.
GeneratorState generator_for(FoamObject const& foam, std::optional<std::uint32_t> seed);

/// Raises OSError (FileNotFoundError when errno says so) with `message`.
[[noreturn]] void raise_os_error(std::string const& message, int error_number);

}  // namespace python
}  // namespace Quarvel

#endif
