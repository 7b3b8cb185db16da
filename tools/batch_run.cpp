#include "batch_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "area_change.h"
#include "atomic_output.h"
#include "batch_csv.h"
#include "foam/dual_foam.h"
#include "foam/foam_file.h"
#include "foam/foam_session.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "foam/simulation_loop.h"
#include "foam/site_sets.h"
#include "render/cairo_snapshot.h"
#include "solver/quasi_static_step.h"
#include "site_file.h"

namespace Quarvel {
namespace batch {

namespace {

using Clock = std::chrono::steady_clock;
using vector3_type = math::BasicMathTypes::vector3_type;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string format(char const* fmt, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, fmt, v);
  return buffer;
}

// File name of a numbered output: prefix, loop in six digits, extension.
std::string numbered(std::string const& prefix, std::uint64_t loop, char const* extension) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%06llu", static_cast<unsigned long long>(loop));
  return prefix + digits + extension;
}

char const* extension_of(kordal::SnapshotFormat format) {
  switch (format) {
    case kordal::SnapshotFormat::svg:
      return ".svg";
    case kordal::SnapshotFormat::pdf:
      return ".pdf";
    case kordal::SnapshotFormat::png:
      return ".png";
  }
  return ".png";
}

// A bar on a terminal line, redrawn at most ten times a second.
class ProgressBar {
 public:
  ProgressBar(std::ostream* out, bool enabled, std::size_t start_bubbles, unsigned goal_bubbles, bool capped,
              std::uint64_t cap)
      : m_out(out),
        m_enabled(enabled && out != nullptr),
        m_start(start_bubbles),
        m_goal(goal_bubbles),
        m_capped(capped),
        m_cap(cap),
        m_last(Clock::now() - std::chrono::seconds(1)) {}

  void update(std::uint64_t loop, std::size_t bubbles, double seconds, bool equilibrating) {
    if (!m_enabled || Clock::now() - m_last < std::chrono::milliseconds(100)) return;
    m_last = Clock::now();
    double done = 0.0;
    if (!equilibrating && m_start > m_goal) {
      done = double(m_start - std::min(m_start, std::max<std::size_t>(bubbles, m_goal))) / double(m_start - m_goal);
    }
    if (m_capped && m_cap > 0) done = std::max(done, double(loop) / double(m_cap));
    int const width = 30;
    int const filled = std::clamp(int(done * width), 0, width);
    std::ostringstream line;
    line << "\r[" << std::string(std::size_t(filled), '#') << std::string(std::size_t(width - filled), '.') << "] "
         << bubbles << " bubbles left, loop " << loop << ", "
         << format("%.1f", seconds > 0.0 ? double(loop) / seconds : 0.0) << " loops/s ";
    std::string const text = line.str();
    *m_out << text << std::string(m_width > text.size() ? m_width - text.size() : 0, ' ') << std::flush;
    m_width = text.size();
  }

  void clear() {
    if (!m_enabled || m_width == 0) return;
    *m_out << '\r' << std::string(m_width, ' ') << '\r' << std::flush;
    m_width = 0;
  }

 private:
  std::ostream* m_out;
  bool m_enabled;
  std::size_t m_start;
  std::size_t m_goal;
  bool m_capped;
  std::uint64_t m_cap;
  Clock::time_point m_last;
  std::size_t m_width = 0;
};

}  // namespace

bool write_picture(FoamMesh const& foam, std::string const& path, kordal::SnapshotFormat format,
                   kordal::SnapshotStyle const& style, std::string& error) {
  AtomicOutput out;
  if (!out.open(path, error)) return false;
  std::string why;
  if (!kordal::write_snapshot(foam, format, style, out.stream(), why)) {
    error = path + ": " + why;
    return false;
  }
  return out.commit(error);
}

void set_parameters(BatchOptions const& options, FoamSimulator& simulator) {
  kordal::apply_parameters(options.m_simulation, simulator);
  simulator.m_verbose = false;
}

StepEvents refresh_statistics(BatchFoam& state, double seconds) {
  state.m_statistics.m_step_time = seconds;
  state.m_statistics.update();
  return kordal::hand_over_events(state.m_simulator, state.m_statistics);
}

void rebuild(BatchFoam& state, std::vector<vector3_type> const& sites, bool outer) {
  kordal::rebuild_foam(state.m_foam, state.m_simulator, state.m_statistics, sites, 1.0, outer);
  refresh_statistics(state, 0.0);
}

bool build_foam(BatchOptions const& options, BatchFoam& state, std::string& error, std::string& note) {
  if (options.m_seed_given) kordal::seed_random_generator(options.m_seed);
  note.clear();
  if (options.m_source == FoamSource::load) {
    if (!kordal::load_foam(options.m_load_file, state.m_foam, error)) return false;
    // A foam saved by a run goes on with that run's draws, whatever --seed says.
    kordal::restore_generator(state.m_foam.m_generator);
    // The film tension belongs to the foam; an explicit option replaces it.
    if (options.m_film_tension_given) {
      state.m_foam.m_film_tension = options.m_simulation.m_film_tension;
    } else {
      state.m_simulator.m_film_tension = state.m_foam.m_film_tension;
    }
    state.m_statistics.reset();
    state.m_simulator.m_t1_count = 0;
    state.m_simulator.m_t2_count = 0;
    refresh_statistics(state, 0.0);
    return true;
  }

  std::vector<vector3_type> sites;
  std::string source;
  switch (options.m_source) {
    case FoamSource::random_sites:
      // The window's 'r' scales sites to its size in pixels, a tenth of a
      // unit each: 960 x 540 pixels are 96 x 54 units.
      kordal::make_random_sites(sites, options.m_sites, 10.0 * options.m_domain_width, 10.0 * options.m_domain_height);
      source = "--sites " + std::to_string(options.m_sites);
      break;
    case FoamSource::preset:
      kordal::load_preset_sites(sites, options.m_preset);
      source = "--preset " + std::to_string(options.m_preset);
      break;
    case FoamSource::site_file:
      if (!read_site_file(options.m_site_file, sites, error)) return false;
      source = options.m_site_file;
      break;
    case FoamSource::load:
      break;
  }
  rebuild(state, sites, !options.m_no_outer);
  std::string const reason = degenerate_sites_reason(sites);
  if (!reason.empty()) {
    note = source + ": " + reason + ": the foam is empty";
  } else if (state.m_foam.face_size() == 0) {
    note = source + ": no site lies inside the others' hull: the foam is empty";
  }
  return true;
}

StepEvents idle_step(BatchFoam& state, double& seconds) {
  auto const start = Clock::now();
  kordal::idle_step(state.m_simulator);
  seconds = seconds_since(start);
  return refresh_statistics(state, seconds);
}

StepEvents equilibration_step(BatchFoam& state, double& seconds) {
  auto const start = Clock::now();
  state.m_simulator.simulate(state.m_simulator.m_max_iterations, state.m_simulator.m_tau);
  seconds = seconds_since(start);
  return refresh_statistics(state, seconds);
}

solver::SolverSettings solver_settings(BatchOptions const& options) {
  solver::SolverSettings s = solver::settings_for(options.m_simulation);
  if (options.m_tolerance_given) {
    s.m_area_tolerance = options.m_area_tolerance;
    s.m_angle_tolerance = options.m_angle_tolerance;
  }
  return s;
}

StepEvents quasi_static_step(BatchFoam& state, solver::SolverSettings const& settings, double& seconds,
                             solver::SolverResult& solve) {
  auto const start = Clock::now();
  solve = solver::quasi_static_step(state.m_simulator, state.m_foam, settings);
  seconds = seconds_since(start);
  return refresh_statistics(state, seconds);
}

Residuals largest_residuals(FoamMesh const& foam) {
  Residuals r;
  double const plateau = 2.0 * std::acos(-1.0) / 3.0;
  for (auto const& f : foam.faces()) {
    if (f.m_is_outer) continue;
    bool open = false;
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      if (foam.get_halfedge(c->m_twin).m_face.is_null()) open = true;
    }
    if (!open) r.m_area = std::max(r.m_area, std::abs(f.m_target_area - kordal::compute_area(f)));
  }
  for (auto const& v : foam.vertices()) {
    if (kordal::is_boundary(v)) continue;
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) {
      auto const& f = foam.get_face(c->m_face);
      if (f.m_is_outer) continue;
      r.m_angle = std::max(r.m_angle, std::abs(plateau - kordal::junction_angle(f, v)));
    }
  }
  return r;
}

int run_batch(BatchOptions const& options, RunEnvironment const& environment) {
  std::ostream& err = *environment.m_err;
  // Every failure names its file first, as "path: ..." or "path:line: ...".
  auto fail = [&](std::string const& what, int status) {
    err << what << '\n' << std::flush;
    return status;
  };

  // Unwritable places fail now, not after a long run.
  std::string error;
  std::vector<std::string> targets;
  if (!options.m_save.empty()) targets.push_back(options.m_save);
  if (!options.m_snapshot.empty()) targets.push_back(options.m_snapshot);
  if (options.m_save_every > 0) targets.push_back(numbered(options.m_save_prefix, 0, ".foam"));
  if (options.m_snapshot_every > 0) {
    targets.push_back(numbered(options.m_snapshot_prefix, 0, extension_of(options.m_snapshot_format)));
  }
  for (auto const& t : targets) {
    if (!can_write(t, error)) return fail(error, exit_bad_input);
  }
  AtomicOutput csv;
  if (!csv.open(options.m_csv, error)) return fail(error, exit_bad_input);
  AtomicOutput track;
  if (!options.m_track.empty() && !track.open(options.m_track, error)) return fail(error, exit_bad_input);
  BatchFoam state;
  std::string track_rows;
  auto write_track = [&](std::uint64_t loop) {
    if (options.m_track.empty()) return;
    track_rows.clear();
    if (loop == 0) track_rows = track_header();
    append_track_rows(track_rows, loop, state.m_foam);
    track.stream() << track_rows;
  };

  set_parameters(options, state.m_simulator);
  std::string note;
  if (!build_foam(options, state, error, note)) return fail(error, exit_bad_input);
  if (!note.empty()) err << "froth-batch: " << note << '\n' << std::flush;

  kordal::SnapshotStyle style;
  style.m_width = options.m_snapshot_width;
  style.m_height = options.m_snapshot_height;
  // One frame for the whole run, so that numbered pictures line up.
  style.m_view = kordal::fit_view(state.m_foam);

  auto write_numbered = [&](std::uint64_t loop) {
    if (options.m_save_every > 0 && loop % options.m_save_every == 0) {
      state.m_foam.m_generator = kordal::generator_state();
      if (!kordal::save_foam(state.m_foam, numbered(options.m_save_prefix, loop, ".foam"), error)) return false;
    }
    if (options.m_snapshot_every > 0 && loop % options.m_snapshot_every == 0) {
      std::string const path = numbered(options.m_snapshot_prefix, loop, extension_of(options.m_snapshot_format));
      if (!write_picture(state.m_foam, path, options.m_snapshot_format, style, error)) return false;
    }
    return true;
  };

  // A failing output stops the run, but the others are still written: a
  // full disk at loop 5000 does not cost the CSV.
  // The solver's runs: the foam as built first for --quasi-static, and the
  // one solve of --equilibrate with the newton solver.
  bool const newton_equilibrate = options.m_equilibrate && options.m_solver == EquilibriumSolver::newton;
  solver::SolverSettings const settings = solver_settings(options);
  double solver_seconds = 0.0;
  unsigned solver_iterations = 0;
  Residuals worst_solved;
  solver::SolverResult solve;
  bool solved = true;
  auto account = [&](solver::SolverResult const& r) {
    solver_seconds += r.m_seconds;
    solver_iterations += r.m_iterations;
    solved = r.m_converged;
    if (r.m_converged) {
      worst_solved.m_area = std::max(worst_solved.m_area, r.m_area_residual);
      worst_solved.m_angle = std::max(worst_solved.m_angle, r.m_angle_residual);
    }
  };
  if (options.m_quasi_static) {
    solve = solver::equilibrate_exactly(state.m_simulator, state.m_foam, settings);
    account(solve);
    refresh_statistics(state, 0.0);
  }

  std::vector<std::string> failures;
  std::ostream& rows = csv.stream();
  rows << csv_header() << csv_row(0, 0.0, 0, 0, state.m_statistics, nullptr) << std::flush;
  write_track(0);
  if (!write_numbered(0)) failures.push_back(error);

  std::size_t const start_bubbles = state.m_foam.face_size();
  ProgressBar progress(environment.m_err, environment.m_progress, start_bubbles, options.m_until_bubbles,
                       options.m_loops_given, options.m_loops);
  std::uint64_t loop = 0;
  double elapsed = 0.0;
  bool interrupted = false;
  AreaChangeTracker tracker;
  // A run to a bubble count with no loop cap must end even when its bubbles
  // stop vanishing (no diffusion, or a foam whose last bubbles lock).
  bool const watch_stall = !options.m_equilibrate && !options.m_loops_given && options.m_stall_loops > 0;
  std::size_t bubbles_seen = state.m_foam.face_size();
  std::uint64_t last_vanish = 0;
  bool stalled = false;
  Residuals residuals = options.m_equilibrate ? largest_residuals(state.m_foam) : Residuals{};
  double const area_tolerance = options.m_tolerance_given ? options.m_area_tolerance : equilibrium_area_tolerance;
  double const angle_tolerance = options.m_tolerance_given ? options.m_angle_tolerance : equilibrium_angle_tolerance;
  auto equilibrated = [&] {
    if (newton_equilibrate) return loop > 0 && solved;
    return residuals.m_area < area_tolerance && residuals.m_angle < angle_tolerance;
  };
  // Equilibration measures its progress by the worse of the two residuals
  // against their tolerances, and gives up when that stops improving.
  auto distance = [&] { return std::max(residuals.m_area / area_tolerance, residuals.m_angle / angle_tolerance); };
  double best_distance = distance();
  std::uint64_t last_progress = 0;
  bool capped = false;
  while (failures.empty() && solved) {
    if (environment.m_interrupt != nullptr && *environment.m_interrupt != 0) {
      interrupted = true;
      break;
    }
    if (options.m_loops_given && loop >= options.m_loops) {
      capped = true;
      break;
    }
    if (options.m_equilibrate ? equilibrated() : state.m_foam.face_size() <= options.m_until_bubbles) break;

    double seconds = 0.0;
    tracker.before(state.m_foam);
    StepEvents events;
    if (options.m_quasi_static) {
      events = quasi_static_step(state, settings, seconds, solve);
      account(solve);
    } else if (newton_equilibrate) {
      solve = solver::equilibrate_exactly(state.m_simulator, state.m_foam, settings);
      account(solve);
      seconds = solve.m_seconds;
      events = refresh_statistics(state, seconds);
    } else {
      events = options.m_equilibrate ? equilibration_step(state, seconds) : idle_step(state, seconds);
    }
    ++loop;
    elapsed += seconds;
    if (options.m_equilibrate) {
      residuals = largest_residuals(state.m_foam);
      if (distance() < 0.99 * best_distance) best_distance = distance(), last_progress = loop;
    }
    if (!solved) break;
    AreaChanges const changes = tracker.after(state.m_foam);
    rows << csv_row(loop, elapsed, events.m_t1, events.m_t2, state.m_statistics, &changes) << std::flush;
    write_track(loop);
    if (!write_numbered(loop)) failures.push_back(error);
    progress.update(loop, state.m_foam.face_size(), elapsed, options.m_equilibrate);
    if (state.m_foam.face_size() != bubbles_seen) {
      bubbles_seen = state.m_foam.face_size();
      last_vanish = loop;
    }
    if (watch_stall && loop - last_vanish >= options.m_stall_loops) {
      stalled = true;
      break;
    }
    if (options.m_equilibrate && !newton_equilibrate && !options.m_loops_given &&
        loop - last_progress >= equilibrium_stall_loops) {
      stalled = true;
      break;
    }
  }
  bool const output_failed = !failures.empty();
  progress.clear();

  state.m_foam.m_generator = kordal::generator_state();
  if (!options.m_save.empty() && !kordal::save_foam(state.m_foam, options.m_save, error)) failures.push_back(error);
  if (!options.m_snapshot.empty()) {
    kordal::SnapshotFormat format = kordal::SnapshotFormat::png;
    kordal::snapshot_format_from_path(options.m_snapshot, format);
    if (!write_picture(state.m_foam, options.m_snapshot, format, style, error)) failures.push_back(error);
  }
  if (!csv.commit(error)) failures.push_back(error);
  if (!options.m_track.empty() && !track.commit(error)) failures.push_back(error);
  for (auto const& f : failures) err << f << '\n';

  std::string const rate = elapsed > 0.0 ? format("%.1f", double(loop) / elapsed) : std::string("-");
  std::ostringstream summary;
  summary << "froth-batch: ";
  if (newton_equilibrate) {
    if (solved) {
      summary << "equilibrated in " << solver_iterations << " Newton iterations, " << format("%.3g", solver_seconds)
              << " s; largest area residual " << format("%.3g", solve.m_area_residual)
              << " (relative), largest angle error " << format("%.3g", solve.m_angle_residual);
    } else {
      summary << "not equilibrated: " << solve.m_reason << " (" << format("%.3g", solver_seconds)
              << " s); the foam is left as built";
    }
  } else if (options.m_equilibrate) {
    summary << (equilibrated() ? "equilibrated in " : "not equilibrated after ") << loop << " loops, "
            << format("%.3g", elapsed) << " s (" << rate << " loops/s); largest area residual "
            << format("%.3g", residuals.m_area) << ", largest angle error " << format("%.3g", residuals.m_angle);
    if (stalled) summary << "; stopped: no progress in " << equilibrium_stall_loops << " loops";
  } else {
    summary << loop << " loops in " << format("%.3g", elapsed) << " s (" << rate << " loops/s); "
            << state.m_foam.face_size() << " bubbles left (outer counted); " << state.m_statistics.m_t1_total << " T1, "
            << state.m_statistics.m_t2_total << " T2";
    if (options.m_quasi_static) {
      summary << "; solver " << format("%.3g", solver_seconds) << " s in " << solver_iterations
              << " iterations, largest residuals: area " << format("%.3g", worst_solved.m_area) << " (relative), angle "
              << format("%.3g", worst_solved.m_angle);
    }
    if (!solved) {
      summary << "; stopped: the solver failed at loop " << loop << ": " << solve.m_reason;
    } else if (!interrupted && !output_failed) {
      if (capped) {
        summary << "; stopped after --loops " << options.m_loops;
      } else if (stalled) {
        summary << "; stopped: no bubble vanished in " << options.m_stall_loops << " loops";
      } else {
        summary << "; stopped at " << options.m_until_bubbles << " bubbles or fewer";
      }
    }
  }
  if (output_failed) summary << "; stopped by an output that could not be written";
  if (interrupted) summary << "; interrupted";
  err << summary.str() << '\n' << std::flush;
  if (!failures.empty()) return exit_output_failed;
  if (interrupted) return exit_interrupted;
  if (!solved) return exit_not_equilibrated;
  return options.m_equilibrate && !equilibrated() ? exit_not_equilibrated : exit_done;
}

}  // namespace batch
}  // namespace Quarvel
