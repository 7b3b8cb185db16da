#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "app/application.h"
#include "app/performance_counter.h"
#include "foam/dual_foam.h"
#include "foam/foam_session.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "foam/site_sets.h"
#include "solver/equilibrium_solver.h"
#include "solver/quasi_static_step.h"

using Quarvel::glut::MenuEntry;

MenuEntry const foam_menu_entries[27] = {
    {"Genrate random foam network     [r]", 'r'}, {"Reset current foam network      [R]", 'R'},
    {"Reset foam pressure             [m]", 'm'}, {"Equilibrate foam network        [e]", 'e'},
    {"Simulate foam network once      [s]", 's'}, {"Simulate one junction once      [S]", 'S'},
    {"Toggle foam simulation on/off   [ ]", ' '}, {"Increase diffusion permeability [k]", 'k'},
    {"Reset diffusion permeability    [K]", 'K'}, {"Diffuse foam network            [d]", 'd'},
    {"Diffuse one junction bubbles    [D]", 'D'}, {"Collapse a single cell          [c]", 'c'},
    {"Perform T1 for one junction     [T]", 'T'}, {"Perform T2 for one junction     [Y]", 'Y'},
    {"Cycle forward through vertices  [j]", 'j'}, {"Cycle backward through vertices [J]", 'J'},
    {"Cycle forward through cells     [b]", 'b'}, {"Cycle backward through cells    [B]", 'B'},
    {"Output foam mesh sites          [p]", 'p'}, {"Toggle foam statistics on/off   [0]", '0'},
    {"Toggles selected vertex/cells   [=]", '='}, {"Apply noise to foam network     [n]", 'n'},
    {"Toggle filled cells on/off      [f]", 'f'}, {"Increase fill color intensity   [v]", 'v'},
    {"Decrease fill color intensity   [V]", 'V'}, {"Equilibrate foam exactly        [E]", 'E'},
    {"Toggle quasi-static simulation  [Q]", 'Q'},
};

namespace {

/// Counts for the timing report of a long command.
class CommandTimer {
 public:
  CommandTimer() : m_frequency(Quarvel::glut::performance_frequency()), m_start(Quarvel::glut::performance_count()) {}

  double seconds() const {
    return Quarvel::glut::elapsed_seconds(m_start, Quarvel::glut::performance_count(), m_frequency);
  }

 private:
  std::int64_t m_frequency;
  std::int64_t m_start;
};

// Console lines with numbers are formatted on a fresh stream: they keep the
// default number format whatever an earlier writer left on std::cout (the
// simulator's verbose prints set precision 5 and leave it so).

void timing_report(double seconds) {
  std::ostringstream text;
  text << "done in " << seconds * 1000.0 << " ms ~ " << 1.0 / seconds << "fps!\n";
  std::cout << text.str() << std::flush;
}

}  // namespace

void solver_report(Quarvel::solver::SolverResult const& r, std::ostream& out) {
  std::ostringstream text;
  text << r.m_iterations << " Newton iterations, area residual " << r.m_area_residual << ", angle residual "
       << r.m_angle_residual << " rad: " << r.m_reason << "\n";
  out << text.str() << std::flush;
}

void Application::build_menus(int main_menu, Quarvel::glut::menu_callback_type callback) {
  int const foam_menu = glutCreateMenu(callback);
  for (MenuEntry const& entry : foam_menu_entries) glutAddMenuEntry(entry.m_text, entry.m_key);
  glutSetMenu(main_menu);
  glutAddSubMenu("Foam model", foam_menu);
}

void Application::reset_pressures() {
  Quarvel::kordal::reset_pressures(m_foam);
  refresh_statistics(0.0);
  std::cout << "manual pressure override" << std::endl;
}

void Application::rebuild() {
  Quarvel::kordal::rebuild_foam(m_foam, m_quisk, m_statistics, m_sites, m_pressure_scale,
                                !m_keys[static_cast<unsigned char>('x')]);
  refresh_statistics(0.0);
  std::cout << "manual pressure override" << std::endl;
}

void Application::run_junction_command(unsigned char key) {
  vertex_handle const junction = selected_junction();
  if (junction.is_null()) {
    // The selection is an index that survives rebuilds; a smaller or empty
    // foam may have nothing at it.
    std::cout << "no junction selected: junction #" << m_junction << " is past the last of " << m_foam.vertex_size()
              << " junctions" << std::endl;
    return;
  }
  bool const verbose = m_quisk.m_verbose;
  switch (key) {
    case 'S': {
      std::cout << "running single simulation loop for junction #" << m_junction << std::endl;
      unsigned const iterations = 1;
      double const tau = 0.0;
      m_quisk.m_verbose = true;
      if (!m_quisk.perform_t2(junction, iterations, tau) && !m_quisk.perform_t1(junction, iterations, tau)) {
        m_quisk.equilibrate(junction, iterations, tau);
      }
      m_quisk.m_verbose = verbose;
      std::cout << "-> done!" << std::endl;
      break;
    }
    case 'D':
      std::cout << "diffusing bubbles adjancent to junction #" << m_junction << std::endl;
      m_quisk.m_verbose = true;
      m_quisk.diffuse_junction(junction);
      m_quisk.m_verbose = verbose;
      std::cout << "-> done!" << std::endl;
      break;
    case 'T': {
      unsigned const iterations = 0;
      double const tau = 0.0;
      m_quisk.perform_t1(junction, iterations, tau);
      break;
    }
    case 'Y': {
      unsigned const iterations = 0;
      double const tau = 0.0;
      m_quisk.perform_t2(junction, iterations, tau);
      break;
    }
    default:
      break;
  }
}

void Application::handle_key(unsigned char key) {
  m_keys[key] = !m_keys[key];
  switch (key) {
    case 'r':
      Quarvel::kordal::make_random_sites(m_sites, m_site_count, m_width, m_height);
      rebuild();
      break;
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
      Quarvel::kordal::load_preset_sites(m_sites, key - '0');
      rebuild();
      break;
    case 'R':
      rebuild();
      break;
    case 'm':
      reset_pressures();
      break;
    case 'e': {
      std::cout << "\nequilibrating foam once (no diffusion)... " << std::flush;
      CommandTimer const timer;
      unsigned const iterations = 16;
      double const tau = 0.1;
      m_quisk.simulate(iterations, tau);
      double const seconds = timer.seconds();
      refresh_statistics(seconds);
      timing_report(seconds);
      break;
    }
    case 'E': {
      std::cout << "\nequilibrating foam exactly... " << std::flush;
      CommandTimer const timer;
      Quarvel::solver::SolverResult const r =
          Quarvel::solver::equilibrate_exactly(m_quisk, m_foam, Quarvel::solver::settings_for(m_quisk));
      double const seconds = timer.seconds();
      refresh_statistics(seconds);
      timing_report(seconds);
      solver_report(r, std::cout);
      break;
    }
    case 'Q':
      m_quasi_static = !m_quasi_static;
      std::cout << "\nquasi-static simulation " << (m_quasi_static ? "on" : "off") << "!" << std::endl;
      break;
    case 's': {
      std::cout << "\nrunning one simulation loop... " << std::flush;
      m_quisk.m_verbose = false;
      CommandTimer const timer;
      m_quisk.diffuse();
      m_quisk.simulate(m_quisk.m_max_iterations, m_quisk.m_tau);
      double const seconds = timer.seconds();
      m_quisk.m_verbose = false;
      refresh_statistics(seconds);
      timing_report(seconds);
      break;
    }
    case 'S':
    case 'D':
    case 'T':
    case 'Y':
      run_junction_command(key);
      break;
    case ' ':
      std::cout << "\nsimulation " << (m_idle ? "started" : "stopped") << "!" << std::endl;
      break;
    case 'k': {
      m_quisk.m_permeability += 0.02;
      std::ostringstream text;
      text << "diffusion = " << m_quisk.permeability() << "\n";
      std::cout << text.str() << std::flush;
      break;
    }
    case 'K':
      m_quisk.m_permeability = 0.0;
      std::cout << "diffusion disabled!" << std::endl;
      break;
    case 'd':
      std::cout << "diffusing all bubbles once... " << std::flush;
      m_quisk.m_verbose = false;
      m_quisk.diffuse();
      m_quisk.m_verbose = false;
      refresh_statistics(0.0);
      std::cout << "done!" << std::endl;
      break;
    case 'c': {
      face_handle const bubble = selected_bubble();
      if (bubble.is_null()) break;
      std::cout << "collapsing bubble... " << std::flush;
      CommandTimer const timer;
      m_foam.get_face(bubble).m_target_area = 0.0;
      m_quisk.simulate(m_quisk.m_max_iterations, m_quisk.m_tau);
      double const seconds = timer.seconds();
      timing_report(seconds);
      refresh_statistics(seconds);
      break;
    }
    case 'j': {
      unsigned const count = static_cast<unsigned>(m_foam.vertex_size());
      m_junction += 1;
      if (m_junction >= count) m_junction = 0;
      break;
    }
    case 'J': {
      unsigned const count = static_cast<unsigned>(m_foam.vertex_size());
      if (m_junction == 0) m_junction = count;
      // An empty foam keeps the selection at 0 instead of wrapping below it.
      if (m_junction > 0) m_junction -= 1;
      break;
    }
    case 'b': {
      unsigned const count = static_cast<unsigned>(m_foam.face_size());
      m_bubble += 1;
      if (m_bubble >= count) m_bubble = 0;
      break;
    }
    case 'B': {
      unsigned const count = static_cast<unsigned>(m_foam.face_size());
      if (m_bubble == 0) m_bubble = count;
      if (m_bubble > 0) m_bubble -= 1;
      break;
    }
    case 'p':
      print_sites(std::cout);
      break;
    case '0':
      m_overlay.m_visible = !m_overlay.m_visible;
      refresh_statistics(0.0);
      break;
    case 'n':
      for (auto& junction : m_foam.vertices()) {
        vector3_type const noise = Quarvel::kordal::random_vector(-0.0625, 0.0625);
        junction.m_coord.x += noise.x;
        junction.m_coord.y += noise.y;
      }
      refresh_statistics(0.0);
      break;
    case 'f':
      m_filled = !m_filled;
      break;
    case 'v':
      m_fill_intensity += 0.01;
      break;
    case 'V':
      m_fill_intensity -= 0.01;
      break;
    default:
      break;
  }
}

void Application::print_sites(std::ostream& out) const {
  std::ostringstream text;
  text << "\nSITES debug print (" << m_sites.size() << " sites):\n\n";
  for (vector3_type const& site : m_sites) {
    text << "m_sites.push_back(vector3_type(" << site.x << ", " << site.y << ", " << site.z << "));\n";
  }
  text << "\nm_junction = " << m_junction << ";"
       << "\nm_quisk.permeability() = " << m_quisk.permeability() << ";\n";
  out << text.str() << std::flush;
}

void Application::mouse_down(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) {
  base_type::mouse_down(x, y, shift, ctrl, alt, left, middle, right);
  if (left) {
    if (ctrl) {
      m_stretching = true;
    } else if (!shift && !alt) {
      m_resizing_sites = true;
    }
  }
  if (m_stretching || m_resizing_sites) m_last_mouse = vector3_type(x, -y, 0);
}

void Application::mouse_move(double x, double y) {
  base_type::mouse_move(x, y);
  if (!m_stretching && !m_resizing_sites) return;
  vector3_type const p(x, -y, 0);
  vector3_type const d = p - m_last_mouse;
  m_last_mouse = p;
  if (m_stretching) {
    stretch(d);
  } else {
    m_site_count = std::max(min_site_count, m_site_count + static_cast<int>(std::trunc(d.x)));
  }
}

void Application::stretch(vector3_type const& d) {
  double const s = 0.001 * d.x;
  double const c = 1.0 - 0.001 * d.y;
  // A single motion step of 1000 pixels or more upwards would divide by zero
  // or mirror the foam; such a step is skipped.
  if (!(c > 0.0)) return;
  for (auto& junction : m_foam.vertices()) {
    vector3_type& q = junction.m_coord;
    q = vector3_type(c * q.x + s * q.y, q.y / c, 0.0);
  }
}

void Application::mouse_up(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) {
  base_type::mouse_up(x, y, shift, ctrl, alt, left, middle, right);
  m_stretching = false;
  m_resizing_sites = false;
}
