// froth.Simulator: froth-batch's coarsening loop over a froth.Foam, a CSV row
// per loop, with the interpreter lock released while the core runs.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "area_change.h"
#include "arguments.h"
#include "batch_csv.h"
#include "bindings.h"
#include "foam_object.h"
#include "solver/equilibrium_solver.h"
#include "solver/quasi_static_step.h"

namespace Quarvel {
namespace python {

namespace {

using batch::BatchFoam;
using batch::BatchOptions;
using FoamPointer = std::shared_ptr<FoamObject>;

// What one loop left: its events, whether its solve (quasi-static) converged,
// its CSV values and the bubbles left, the outer one counted.
struct LoopOutcome {
  kordal::StepEvents m_events;
  bool m_solved = true;
  std::string m_reason;
  std::vector<double> m_row;
  std::size_t m_faces = 0;
};

class Simulator {
 public:
  Simulator(FoamPointer foam, py::object film_tension, py::object permeability, py::object max_iterations,
            py::object tau, py::object t1_threshold, py::object t2_threshold, py::object seed, bool quasi_static,
            py::object tolerance)
      : m_foam(std::move(foam)) {
    if (!m_foam) throw py::type_error("foam must be a froth.Foam, not None");
    BatchOptions& o = m_options;
    o.m_film_tension_given = !film_tension.is_none();
    if (o.m_film_tension_given) o.m_simulation.m_film_tension = non_negative(film_tension, "film_tension");
    o.m_simulation.m_permeability = non_negative(permeability, "permeability");
    o.m_simulation.m_max_iterations = static_cast<unsigned>(whole(max_iterations, "max_iterations", 0, 0xffffffffu));
    o.m_simulation.m_tau = positive(tau, "tau");
    o.m_simulation.m_t1_threshold = non_negative(t1_threshold, "t1_threshold");
    o.m_simulation.m_t2_threshold = non_negative(t2_threshold, "t2_threshold");
    o.m_quasi_static = quasi_static;
    if (!tolerance.is_none()) {
      auto const [a, g] = pair(tolerance, "tolerance");
      o.m_tolerance_given = true;
      o.m_area_tolerance = positive(a, "tolerance");
      o.m_angle_tolerance = positive(g, "tolerance");
    }
    m_settings = batch::solver_settings(o);
    std::optional<std::uint32_t> const s = python::seed(seed);

    solver::SolverResult const solve = in_core([&] {
      BatchFoam& state = m_foam->m_state;
      // The film tension belongs to the foam; an explicit one replaces it.
      if (o.m_film_tension_given) {
        state.m_foam.m_film_tension = o.m_simulation.m_film_tension;
      } else {
        o.m_simulation.m_film_tension = state.m_foam.m_film_tension;
      }
      m_generator.emplace(generator_for(*m_foam, s));
      solver::SolverResult result;
      result.m_converged = true;
      if (o.m_quasi_static) {
        // The foam as built is solved first, as froth-batch --quasi-static.
        result = solver::equilibrate_exactly(state.m_simulator, state.m_foam, m_settings);
        batch::refresh_statistics(state, 0.0);
      }
      return result;
    });
    if (!solve.m_converged) throw std::runtime_error("quasi_static: the foam could not be solved: " + solve.m_reason);
  }

  FoamPointer const& foam() const { return m_foam; }

  py::dict step() {
    LoopOutcome const out = in_core([&] { return advance(); });
    py::dict d;
    d["t1"] = out.m_events.m_t1;
    d["t2"] = out.m_events.m_t2;
    if (m_options.m_quasi_static) {
      d["converged"] = out.m_solved;
      d["reason"] = out.m_reason;
    }
    return d;
  }

  // The run's rows go to m_rows, kept when a signal or the callback's
  // exception ends it.
  void run(py::object loops, py::object until_bubbles, py::object stall_loops, py::object callback, py::object every) {
    bool const capped = !loops.is_none();
    std::uint64_t const cap = capped ? whole(loops, "loops") : 0;
    std::uint64_t const goal = whole(until_bubbles, "until_bubbles", 0, 0xffffffffu);
    std::uint64_t const stall = whole(stall_loops, "stall_loops");
    std::uint64_t const period = whole(every, "every", 1);
    if (!callback.is_none() && !PyCallable_Check(callback.ptr())) throw py::type_error("callback must be callable");
    if (m_running) throw std::runtime_error("this simulator is running already");
    Running const running(m_running);

    m_rows.clear();
    m_stop_reason = "running";
    std::size_t faces = in_core([&] {
      BatchFoam const& state = m_foam->m_state;
      m_start_row = batch::csv_values(m_loop, m_elapsed, 0, 0, state.m_statistics, nullptr);
      return state.m_foam.face_size();
    });
    m_rows.insert(m_rows.end(), m_start_row.begin(), m_start_row.end());

    // A run to a bubble count with no loop cap ends when no bubble has
    // vanished for `stall` loops, as froth-batch's --stall-loops.
    bool const watch_stall = !capped && stall > 0;
    std::size_t bubbles_seen = faces;
    std::uint64_t made = 0, last_vanish = 0;
    while (true) {
      if (capped && made >= cap) {
        m_stop_reason = "stopped after loops=" + std::to_string(cap);
        break;
      }
      if (faces <= goal) {
        m_stop_reason = "stopped at " + std::to_string(goal) + " bubbles or fewer";
        break;
      }
      LoopOutcome const out = in_core([&] { return advance(); });
      ++made;
      faces = out.m_faces;
      if (!out.m_solved) {
        m_stop_reason = "stopped: the solver failed at loop " + std::to_string(m_loop) + ": " + out.m_reason;
        break;
      }
      m_rows.insert(m_rows.end(), out.m_row.begin(), out.m_row.end());
      if (faces != bubbles_seen) bubbles_seen = faces, last_vanish = made;
      if (watch_stall && made - last_vanish >= stall) {
        m_stop_reason = "stopped: no bubble vanished in " + std::to_string(stall) + " loops";
        break;
      }
      if (PyErr_CheckSignals() != 0) {
        m_stop_reason = "interrupted";
        throw py::error_already_set();
      }
      if (!callback.is_none() && made % period == 0) {
        py::object go_on;
        try {
          go_on = callback(py::cast(m_foam), row_dict(out.m_row));
        } catch (...) {
          m_stop_reason = "stopped by an exception of the callback";
          throw;
        }
        if (go_on.ptr() == Py_False) {
          m_stop_reason = "stopped by the callback";
          break;
        }
      }
    }
  }

  // The last run's rows, one per line, in csv_columns() order.
  py::array_t<double> rows() const {
    std::size_t const columns = batch::csv_columns().size();
    py::array_t<double> out({static_cast<py::ssize_t>(m_rows.size() / columns), static_cast<py::ssize_t>(columns)});
    std::copy(m_rows.begin(), m_rows.end(), out.mutable_data());
    return out;
  }

  py::dict parameters() const {
    py::dict d;
    d["film_tension"] = m_options.m_simulation.m_film_tension;
    d["permeability"] = m_options.m_simulation.m_permeability;
    d["max_iterations"] = m_options.m_simulation.m_max_iterations;
    d["tau"] = m_options.m_simulation.m_tau;
    d["t1_threshold"] = m_options.m_simulation.m_t1_threshold;
    d["t2_threshold"] = m_options.m_simulation.m_t2_threshold;
    d["quasi_static"] = m_options.m_quasi_static;
    return d;
  }

  std::uint64_t m_loop = 0;   ///< loops made, the simulated time
  std::string m_stop_reason;  ///< why the last run ended

 private:
  struct Running {
    explicit Running(bool& flag) : m_flag(flag) { m_flag = true; }
    ~Running() { m_flag = false; }
    bool& m_flag;
  };

  // One idle step (or quasi-static step) of froth-batch, with its row.
  // Called with the core lock held.
  LoopOutcome advance() {
    BatchFoam& state = m_foam->m_state;
    batch::set_parameters(m_options, state.m_simulator);
    GeneratorState::Use use(*m_generator);
    LoopOutcome out;
    double seconds = 0.0;
    m_tracker.before(state.m_foam);
    if (m_options.m_quasi_static) {
      solver::SolverResult solve;
      out.m_events = batch::quasi_static_step(state, m_settings, seconds, solve);
      out.m_solved = solve.m_converged;
      out.m_reason = solve.m_reason;
    } else {
      out.m_events = batch::idle_step(state, seconds);
    }
    ++m_loop;
    m_elapsed += seconds;
    batch::AreaChanges const changes = m_tracker.after(state.m_foam);
    out.m_row =
        batch::csv_values(m_loop, m_elapsed, out.m_events.m_t1, out.m_events.m_t2, state.m_statistics, &changes);
    out.m_faces = state.m_foam.face_size();
    // The foam carries the generator on: a save goes on where this run stands.
    state.m_foam.m_generator = kordal::generator_state();
    return out;
  }

  static py::dict row_dict(std::vector<double> const& row) {
    auto const& columns = batch::csv_columns();
    py::dict d;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (batch::csv_integer_column(i)) {
        d[columns[i].c_str()] = static_cast<std::uint64_t>(row[i]);
      } else {
        d[columns[i].c_str()] = row[i];
      }
    }
    return d;
  }

  FoamPointer m_foam;
  BatchOptions m_options;
  solver::SolverSettings m_settings;
  std::optional<GeneratorState> m_generator;
  batch::AreaChangeTracker m_tracker;
  double m_elapsed = 0.0;
  std::vector<double> m_start_row;
  std::vector<double> m_rows;
  bool m_running = false;
};

}  // namespace

void bind_simulator(py::module_& m) {
  constexpr kordal::SimulationParameters window{};
  BatchOptions const defaults;
  py::class_<Simulator> simulator(m, "Simulator",
                                  "froth-batch's coarsening of a foam: each loop diffuses gas, then visits every "
                                  "junction once (T2, T1 or equilibration), or, quasi_static, makes the events and "
                                  "solves the foam exactly. film_tension None keeps the foam's own. Without a seed the "
                                  "loops go on with the generator the foam carries (from Foam.random, from its file "
                                  "or from the last simulator that ran it), as froth-batch --load does; with a seed "
                                  "they draw as froth-batch --seed would after building the same foam.");
  simulator.def(py::init<FoamPointer, py::object, py::object, py::object, py::object, py::object, py::object,
                         py::object, bool, py::object>(),
                py::arg("foam"), py::arg("film_tension") = py::none(), py::arg("permeability") = window.m_permeability,
                py::arg("max_iterations") = window.m_max_iterations, py::arg("tau") = window.m_tau,
                py::arg("t1_threshold") = window.m_t1_threshold, py::arg("t2_threshold") = window.m_t2_threshold,
                py::arg("seed") = py::none(), py::arg("quasi_static") = false, py::arg("tolerance") = py::none());
  simulator.def("step", &Simulator::step,
                "One loop; returns its events, t1 and t2 (quasi_static: also converged and reason).");
  simulator.def("_run", &Simulator::run, py::arg("loops") = py::none(),
                py::arg("until_bubbles") = defaults.m_until_bubbles, py::arg("stall_loops") = defaults.m_stall_loops,
                py::arg("callback") = py::none(), py::arg("every") = 1);
  simulator.def("_rows", &Simulator::rows);
  simulator.def_property_readonly("foam", &Simulator::foam);
  simulator.def_property_readonly(
      "loop", [](Simulator const& s) { return s.m_loop; }, "Loops made so far: the simulated time.");
  simulator.def_property_readonly(
      "stop_reason", [](Simulator const& s) { return s.m_stop_reason; }, "Why the last run ended.");
  simulator.def_property_readonly("parameters", &Simulator::parameters);
}

}  // namespace python
}  // namespace Quarvel
