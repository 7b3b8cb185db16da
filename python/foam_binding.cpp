// froth.Foam: a foam built, loaded, measured, drawn and saved by froth-batch's
// own code, and its records as numpy arrays in the foam file's order.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "foam/foam_file.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "foam_object.h"
#include "render/cairo_snapshot.h"
#include "site_file.h"
#include "solver/equilibrium_solver.h"
#include "solver/quasi_static_step.h"

namespace Quarvel {
namespace python {

namespace {

using batch::BatchFoam;
using batch::BatchOptions;
using batch::FoamSource;
using kordal::FoamMesh;
using FoamPointer = std::shared_ptr<FoamObject>;

constexpr kordal::SimulationParameters window{};

void warn(std::string const& message) {
  if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) != 0) throw py::error_already_set();
}

// Builds the foam that the options name, as froth-batch does.
FoamPointer build(BatchOptions const& options, std::uint64_t draws) {
  auto foam = std::make_shared<FoamObject>();
  foam->m_build_draws = draws;
  std::string error, note;
  bool const built = in_core([&] {
    GeneratorState generator(options.m_seed);
    bool ok = false;
    {
      GeneratorState::Use use(generator);
      batch::set_parameters(options, foam->m_state.m_simulator);
      ok = batch::build_foam(options, foam->m_state, error, note);
    }
    // A random foam carries its generator on, as froth-batch's run does; a
    // loaded one carries its file's.
    if (ok && options.m_source == FoamSource::random_sites) foam->m_state.m_foam.m_generator = generator.position();
    return ok;
  });
  if (!built) throw py::value_error(error);
  if (!note.empty()) warn(note);
  return foam;
}

FoamPointer random_foam(py::object n, py::object seed, py::object domain, bool outer) {
  BatchOptions options;
  options.m_source = FoamSource::random_sites;
  options.m_sites = static_cast<int>(whole(n, "n", 0, INT_MAX));
  std::optional<std::uint32_t> const s = python::seed(seed);
  options.m_seed_given = true;
  options.m_seed = s ? *s : kordal::current_time_seed();
  auto const [w, h] = pair(domain, "domain");
  options.m_domain_width = positive(w, "domain");
  options.m_domain_height = positive(h, "domain");
  // As froth-batch's --domain: far beyond any foam, far from overflow.
  if (options.m_domain_width > 1e9 || options.m_domain_height > 1e9) {
    throw py::value_error("domain: " + std::string(py::repr(domain)) + " is larger than 1e9");
  }
  options.m_no_outer = !outer;
  // Every site takes three draws, made or not.
  return build(options, 3 * std::uint64_t(options.m_sites));
}

FoamPointer preset_foam(py::object k, bool outer) {
  BatchOptions options;
  options.m_source = FoamSource::preset;
  options.m_preset = static_cast<int>(whole(k, "k", 1, 3));
  options.m_no_outer = !outer;
  return build(options, 0);
}

FoamPointer load_foam(py::object path) {
  BatchOptions options;
  options.m_source = FoamSource::load;
  options.m_load_file = path_argument(path);
  std::ifstream in;
  std::string error;
  errno = 0;
  if (!kordal::open_for_reading(options.m_load_file, in, error)) raise_os_error(error, errno);
  in.close();
  return build(options, 0);
}

FoamPointer foam_from_sites(py::object xy, bool outer) {
  auto const array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(xy);
  if (!array) throw py::type_error("xy must be an array of numbers");
  if (array.ndim() != 2 || array.shape(1) != 2) throw py::value_error("xy must be an (N, 2) array");
  std::vector<kordal::vector3_type> sites;
  auto const v = array.unchecked<2>();
  for (py::ssize_t i = 0; i < v.shape(0); ++i) {
    if (!std::isfinite(v(i, 0)) || !std::isfinite(v(i, 1))) {
      throw py::value_error("xy: row " + std::to_string(i) + " is not finite");
    }
    sites.emplace_back(v(i, 0), v(i, 1), 0.0);
  }
  auto foam = std::make_shared<FoamObject>();
  std::string note = in_core([&] {
    BatchFoam& state = foam->m_state;
    batch::set_parameters(BatchOptions{}, state.m_simulator);
    batch::rebuild(state, sites, outer);
    std::string reason = batch::degenerate_sites_reason(sites);
    if (reason.empty() && state.m_foam.face_size() == 0) reason = "no site lies inside the others' hull";
    return reason;
  });
  if (!note.empty()) warn("xy: " + note + ": the foam is empty");
  return foam;
}

void save(FoamObject& foam, py::object path) {
  std::string const target = path_argument(path);
  std::string error;
  int error_number = 0;
  bool const saved = in_core([&] {
    errno = 0;
    bool const ok = kordal::save_foam(foam.m_state.m_foam, target, error);
    error_number = errno;
    return ok;
  });
  if (!saved) raise_os_error(error, error_number);
}

void snapshot(FoamObject& foam, py::object path, py::object size) {
  std::string const target = path_argument(path);
  kordal::SnapshotFormat format;
  if (!kordal::snapshot_format_from_path(target, format)) {
    throw py::value_error("path: '" + target + "' does not end in .svg, .pdf or .png");
  }
  auto const [w, h] = pair(size, "size");
  kordal::SnapshotStyle style;
  // cairo's image surfaces stop at 32767 pixels a side.
  style.m_width = static_cast<int>(whole(w, "size", 1, 32767));
  style.m_height = static_cast<int>(whole(h, "size", 1, 32767));
  std::string error;
  int error_number = 0;
  bool const written = in_core([&] {
    errno = 0;
    bool const ok = batch::write_picture(foam.m_state.m_foam, target, format, style, error);
    error_number = errno;
    return ok;
  });
  if (!written) raise_os_error(error, error_number);
}

py::dict statistics(FoamObject& foam) {
  kordal::FoamStatistics<FoamMesh> s = [&] {
    std::lock_guard<std::mutex> lock(core_mutex());
    return foam.m_state.m_statistics;
  }();
  py::dict p;
  for (std::size_t n = 0; n < s.m_distribution.size(); ++n) {
    if (s.m_distribution[n] > 0.0) p[py::int_(n)] = s.m_distribution[n];
  }
  py::dict d;
  d["bubbles"] = s.m_cell_count;
  d["junctions"] = s.m_vertex_count;
  d["mean_edges"] = s.m_mean_edges;
  d["second_moment"] = s.m_second_moment;
  d["mean_area"] = s.m_mean_area;
  d["area_error"] = s.m_area_error;
  d["mean_angle"] = s.m_mean_angle;
  d["angle_error"] = s.m_angle_error;
  d["p"] = p;
  return d;
}

py::dict solve_result(unsigned iterations, double seconds, double area, double angle, bool converged,
                      std::string const& reason) {
  py::dict d;
  d["iterations"] = iterations;
  d["seconds"] = seconds;
  d["area_residual"] = area;
  d["angle_residual"] = angle;
  d["converged"] = converged;
  d["reason"] = reason;
  return d;
}

// The window's sweeps until within the tolerances, as froth-batch's
// --equilibrate --solver junction: loops without diffusion, given up when
// the worse residual against its tolerance has not improved by 1% in
// batch::equilibrium_stall_loops loops. Between loops a pending signal
// (Ctrl-C) is raised.
py::dict sweep(FoamObject& foam, double area_tolerance, double angle_tolerance, std::optional<std::uint32_t> seed) {
  BatchFoam& state = foam.m_state;
  std::optional<GeneratorState> generator;
  batch::Residuals residuals = in_core([&] {
    generator.emplace(generator_for(foam, seed));
    return batch::largest_residuals(state.m_foam);
  });
  auto const distance = [&] {
    return std::max(residuals.m_area / area_tolerance, residuals.m_angle / angle_tolerance);
  };
  auto const within = [&] { return residuals.m_area < area_tolerance && residuals.m_angle < angle_tolerance; };
  double best = distance();
  std::uint64_t loops = 0, last_progress = 0;
  double seconds = 0.0;
  while (!within() && loops - last_progress < batch::equilibrium_stall_loops) {
    residuals = in_core([&] {
      BatchOptions parameters;
      parameters.m_simulation.m_film_tension = state.m_foam.m_film_tension;
      batch::set_parameters(parameters, state.m_simulator);
      GeneratorState::Use use(*generator);
      double s = 0.0;
      batch::equilibration_step(state, s);
      seconds += s;
      state.m_foam.m_generator = kordal::generator_state();
      return batch::largest_residuals(state.m_foam);
    });
    ++loops;
    if (distance() < 0.99 * best) best = distance(), last_progress = loops;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
  std::string const reason =
      within() ? "converged" : "no progress in " + std::to_string(batch::equilibrium_stall_loops) + " loops";
  return solve_result(static_cast<unsigned>(loops), seconds, residuals.m_area, residuals.m_angle, within(), reason);
}

py::dict equilibrate(FoamObject& foam, std::string const& solver, py::object tolerance, py::object seed) {
  if (solver != "newton" && solver != "junction") {
    throw py::value_error("solver: '" + solver + "' is not newton or junction");
  }
  bool const newton = solver == "newton";
  double area_tolerance = newton ? solver::SolverSettings{}.m_area_tolerance : batch::equilibrium_area_tolerance;
  double angle_tolerance = newton ? solver::SolverSettings{}.m_angle_tolerance : batch::equilibrium_angle_tolerance;
  if (!tolerance.is_none()) {
    auto const [a, g] = pair(tolerance, "tolerance");
    area_tolerance = positive(a, "tolerance");
    angle_tolerance = positive(g, "tolerance");
  }
  std::optional<std::uint32_t> const s = python::seed(seed);
  if (!newton) return sweep(foam, area_tolerance, angle_tolerance, s);

  BatchOptions options;
  options.m_tolerance_given = true;
  options.m_area_tolerance = area_tolerance;
  options.m_angle_tolerance = angle_tolerance;
  solver::SolverSettings const settings = batch::solver_settings(options);
  solver::SolverResult const r = in_core([&] {
    solver::SolverResult result = solver::equilibrate_exactly(foam.m_state.m_simulator, foam.m_state.m_foam, settings);
    batch::refresh_statistics(foam.m_state, result.m_seconds);
    return result;
  });
  return solve_result(r.m_iterations, r.m_seconds, r.m_area_residual, r.m_angle_residual, r.m_converged, r.m_reason);
}

// One value per bubble, in list order, as a numpy array.
template <typename T, typename Value>
py::array_t<T> per_bubble(FoamObject const& foam, Value value) {
  std::vector<T> values;
  {
    std::lock_guard<std::mutex> lock(core_mutex());
    values.reserve(foam.m_state.m_foam.face_size());
    for (auto const& f : foam.m_state.m_foam.faces()) values.push_back(static_cast<T>(value(f)));
  }
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

py::array_t<double> junctions(FoamObject const& foam) {
  std::vector<double> xy;
  {
    std::lock_guard<std::mutex> lock(core_mutex());
    xy.reserve(2 * foam.m_state.m_foam.vertex_size());
    for (auto const& v : foam.m_state.m_foam.vertices()) {
      xy.push_back(v.m_coord.x);
      xy.push_back(v.m_coord.y);
    }
  }
  py::array_t<double> out({static_cast<py::ssize_t>(xy.size() / 2), py::ssize_t(2)});
  std::copy(xy.begin(), xy.end(), out.mutable_data());
  return out;
}

// Every bubble's junctions by list position, from the destination of its
// border half-edge on, as the foam file lists them.
py::list loops(FoamObject const& foam) {
  std::vector<std::vector<std::uint32_t>> loops;
  {
    std::lock_guard<std::mutex> lock(core_mutex());
    FoamMesh const& mesh = foam.m_state.m_foam;
    std::uint32_t largest = 0;
    for (auto const& v : mesh.vertices()) largest = std::max(largest, v.m_self.get_idx());
    std::vector<std::uint32_t> position(std::size_t(largest) + 1, 0);
    std::uint32_t next = 0;
    for (auto const& v : mesh.vertices()) position[v.m_self.get_idx()] = next++;
    for (auto const& f : mesh.faces()) {
      loops.emplace_back();
      for (FoamMesh::const_face_halfedge_circulator c(mesh, f.m_self); c; ++c) {
        std::size_t const j = c->m_destination.get_idx();
        if (j >= position.size()) throw std::runtime_error("a bubble's loop reaches a junction that does not exist");
        loops.back().push_back(position[j]);
      }
    }
  }
  py::list out;
  for (auto const& loop : loops) {
    py::list l;
    for (std::uint32_t j : loop) l.append(j);
    out.append(l);
  }
  return out;
}

template <typename Read>
auto read(FoamObject const& foam, Read r) {
  std::lock_guard<std::mutex> lock(core_mutex());
  return r(foam.m_state);
}

}  // namespace

void bind_foam(py::module_& m) {
  using Face = FoamMesh::face_type;
  py::class_<FoamObject, FoamPointer> foam(m, "Foam",
                                           "A two-dimensional foam: junctions, bubbles with pressure and target "
                                           "area, films as circular arcs. Made by Foam.random, Foam.preset, "
                                           "Foam.from_sites or Foam.load.");
  foam.def_static("random", &random_foam, py::arg("n"), py::arg("seed") = py::none(),
                  py::arg("domain") = py::make_tuple(window.m_domain_width, window.m_domain_height),
                  py::arg("outer") = true,
                  "The foam of n random sites over the domain rectangle, as froth-batch --sites n builds it; "
                  "seeded by seed, else by the time. outer=False leaves the border open.");
  foam.def_static("preset", &preset_foam, py::arg("k"), py::arg("outer") = true,
                  "The foam of the fixed site set k (1, 2 or 3).");
  foam.def_static("from_sites", &foam_from_sites, py::arg("xy"), py::arg("outer") = true,
                  "The foam of the sites in the rows of an (N, 2) array.");
  foam.def_static("load", &load_foam, py::arg("path"),
                  "A foam file as saved. A malformed file raises ValueError naming the file and line.");
  foam.def("save", &save, py::arg("path"), "Writes the foam file (whole, or not at all).");
  foam.def("snapshot", &snapshot, py::arg("path"), py::arg("size") = py::make_tuple(960, 540),
           "Draws the foam to an SVG, PDF or PNG file, by the extension of path.");
  foam.def("statistics", &statistics,
           "The statistics of froth-batch's CSV: bubbles, junctions, mean_edges, second_moment, mean_area, "
           "area_error, mean_angle, angle_error, and p, a dict from n to the fraction of bubbles with n films.");
  foam.def("equilibrate", &equilibrate, py::arg("solver") = "newton", py::arg("tolerance") = py::none(),
           py::arg("seed") = py::none(),
           "Brings the foam to equilibrium without diffusion. 'newton': every junction and pressure at once, "
           "to (area, angle) tolerance, 1e-10 each by default, the area relative. 'junction': the window's "
           "sweeps, to 1e-6 absolute in area and 1e-4 in angle by default, their junction order drawn from the "
           "generator seeded by seed as froth-batch --seed would. Returns iterations (loops for the sweeps), "
           "seconds, area_residual, angle_residual, converged and reason.");
  foam.def_property_readonly(
      "bubble_count",
      [](FoamObject const& f) { return read(f, [](BatchFoam const& s) { return s.m_statistics.m_cell_count; }); },
      "Bubbles as the statistics count them (no outer bubble, none on an open border).");
  foam.def_property_readonly(
      "junction_count",
      [](FoamObject const& f) { return read(f, [](BatchFoam const& s) { return s.m_statistics.m_vertex_count; }); },
      "Junctions as the statistics count them (none on an open border).");
  foam.def_property_readonly("film_tension", [](FoamObject const& f) {
    return read(f, [](BatchFoam const& s) { return s.m_foam.m_film_tension; });
  });
  foam.def_property_readonly("junctions", &junctions, "Junction positions, (J, 2), in the foam file's order.");
  foam.def_property_readonly(
      "pressures",
      [](FoamObject const& f) { return per_bubble<double>(f, [](Face const& b) { return b.m_pressure; }); },
      "Per bubble (the outer one included), in the foam file's order; likewise the other bubble arrays.");
  foam.def_property_readonly("target_areas", [](FoamObject const& f) {
    return per_bubble<double>(f, [](Face const& b) { return b.m_target_area; });
  });
  foam.def_property_readonly(
      "areas",
      [](FoamObject const& f) { return per_bubble<double>(f, [](Face const& b) { return kordal::compute_area(b); }); },
      "Areas bounded by the curved films; 0 for the outer bubble.");
  foam.def_property_readonly("sides", [](FoamObject const& f) {
    return per_bubble<std::int64_t>(f, [](Face const& b) { return kordal::film_count(b); });
  });
  foam.def_property_readonly(
      "outer", [](FoamObject const& f) { return per_bubble<bool>(f, [](Face const& b) { return b.m_is_outer; }); });
  foam.def_property_readonly(
      "tags", [](FoamObject const& f) { return per_bubble<std::uint32_t>(f, [](Face const& b) { return b.m_tag; }); });
  foam.def_property_readonly("loops", &loops, "Per bubble, its junction indices in loop order, as the foam file.");
  foam.def("__repr__", [](FoamObject const& f) {
    auto const [bubbles, junctions] = read(f, [](BatchFoam const& s) {
      return std::make_pair(s.m_statistics.m_cell_count, s.m_statistics.m_vertex_count);
    });
    return "<froth.Foam: " + std::to_string(bubbles) + " bubbles, " + std::to_string(junctions) + " junctions>";
  });
}

}  // namespace python
}  // namespace Quarvel
