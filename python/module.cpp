// The extension froth._froth: the core lock, the generators, and the module's
// constants; the classes are bound in their own files.

#include <pthread.h>
#include <pybind11/pybind11.h>

#include <cerrno>

#include "batch_csv.h"
#include "batch_options.h"
#include "bindings.h"
#include "foam/random_source.h"
#include "foam_object.h"

namespace Quarvel {
namespace python {

std::mutex& core_mutex() {
  static std::mutex mutex;
  return mutex;
}

GeneratorState generator_for(FoamObject const& foam, std::optional<std::uint32_t> seed) {
  kordal::GeneratorState const& carried = foam.m_state.m_foam.m_generator;
  bool const go_on = !seed && carried.m_known;
  GeneratorState generator(go_on ? carried.m_seed : seed ? *seed : kordal::current_time_seed());
  {
    // The state records where it stands when the guard ends, so the guard
    // must end before the state is handed on.
    GeneratorState::Use use(generator);
    if (go_on) {
      kordal::restore_generator(carried);
    } else {
      for (std::uint64_t i = 0; i < foam.m_build_draws; ++i) kordal::random_draw();
    }
  }
  return generator;
}

void raise_os_error(std::string const& message, int error_number) {
  PyErr_SetString(error_number == ENOENT ? PyExc_FileNotFoundError : PyExc_OSError, message.c_str());
  throw pybind11::error_already_set();
}

namespace {

// A process forked while another thread holds the core lock would inherit it
// locked for ever (a process pool's workers are forked): the fork waits for
// the lock, and both sides release it.
void lock_core() { core_mutex().lock(); }
void unlock_core() { core_mutex().unlock(); }

}  // namespace

}  // namespace python
}  // namespace Quarvel

PYBIND11_MODULE(_froth, m) {
  namespace py = pybind11;
  using namespace Quarvel;
  m.doc() = "Froth's foams and their simulation, as froth-batch runs them.";
  // Every draw comes from a generator state of the module's own; seeding once
  // keeps the program's generator from seeding itself from the clock.
  kordal::seed_random_generator(kordal::current_time_seed());
  pthread_atfork(&python::lock_core, &python::unlock_core, &python::unlock_core);

  python::bind_foam(m);
  python::bind_simulator(m);

  py::tuple columns(batch::csv_columns().size());
  for (std::size_t i = 0; i < batch::csv_columns().size(); ++i) columns[i] = batch::csv_columns()[i];
  m.attr("csv_columns") = columns;
  py::list whole;
  for (std::size_t i = 0; i < batch::csv_columns().size(); ++i) {
    if (batch::csv_integer_column(i)) whole.append(batch::csv_columns()[i]);
  }
  m.attr("csv_integer_columns") = py::tuple(whole);

  constexpr kordal::SimulationParameters window{};
  batch::BatchOptions const options;
  py::dict defaults;
  defaults["sites"] = window.m_site_count;
  defaults["domain"] = py::make_tuple(window.m_domain_width, window.m_domain_height);
  defaults["until_bubbles"] = options.m_until_bubbles;
  defaults["stall_loops"] = options.m_stall_loops;
  m.attr("defaults") = defaults;
}
