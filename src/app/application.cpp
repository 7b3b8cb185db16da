#include "app/application.h"

#include <algorithm>
#include <iostream>

#include "app/performance_counter.h"
#include "foam/foam_session.h"
#include "foam/simulation_parameters.h"
#include "solver/quasi_static_step.h"

Application::Application()
    : m_keys{},
      m_foam(),
      m_quisk(&m_foam),
      m_statistics(&m_foam),
      m_sites(),
      m_pressure_scale(1.0),
      m_bubble(0),
      m_junction(0),
      m_stretching(false),
      m_resizing_sites(false),
      m_site_count(Quarvel::kordal::SimulationParameters{}.m_site_count),
      m_last_mouse(0, 0, 0),
      m_filled(true),
      m_overlay(),
      m_fill_intensity(0.75) {
  m_width = 960;
  m_height = 540;
}

void Application::initialize() {
  m_camera.m_target_locked = false;
  std::fill(std::begin(m_keys), std::end(m_keys), false);
  m_pressure_scale = 1.0;
  m_bubble = 0;
  m_junction = 0;
  m_stretching = false;
  m_resizing_sites = false;
  m_site_count = Quarvel::kordal::SimulationParameters{}.m_site_count;
  m_last_mouse = vector3_type(0, 0, 0);
  m_filled = true;
  Quarvel::kordal::apply_parameters(Quarvel::kordal::SimulationParameters{}, m_quisk);
  m_fill_intensity = 0.75;
  refresh_statistics(0.0);
  if (m_window != 0) glDisable(GL_LIGHTING);
}

void Application::refresh_statistics(double step_time) {
  if (!m_overlay.m_visible) return;
  m_statistics.m_step_time = step_time;
  m_statistics.update();
  Quarvel::kordal::hand_over_events(m_quisk, m_statistics);
}

void Application::run_step() {
  using namespace Quarvel::glut;
  std::int64_t const frequency = performance_frequency();
  std::int64_t const start = performance_count();
  if (m_quasi_static) {
    Quarvel::solver::SolverResult const r =
        Quarvel::solver::quasi_static_step(m_quisk, m_foam, Quarvel::solver::settings_for(m_quisk));
    if (!r.m_converged) solver_report(r, std::cout);
  } else {
    Quarvel::kordal::idle_step(m_quisk);
  }
  std::int64_t const end = performance_count();
  refresh_statistics(elapsed_seconds(start, end, frequency));

  // The outer bubble counts: a foam of 5 bubbles or fewer has too little left
  // to coarsen.
  if (m_foam.face_size() > 5) return;
  std::cout << "forced simulation stopped - too few bubbles!" << std::endl;
  set_idle(false);
  keyboard(' ');
  post_redisplay();
}

void Application::on_shutdown() {}

char const* Application::window_title() { return "Froth - two-dimensional foam simulator"; }

Application::vertex_handle Application::selected_junction() const {
  unsigned i = 0;
  for (auto const& junction : m_foam.vertices()) {
    if (i++ == m_junction) return junction.m_self;
  }
  return vertex_handle();
}

Application::face_handle Application::selected_bubble() const {
  unsigned i = 0;
  for (auto const& bubble : m_foam.faces()) {
    if (i++ == m_bubble) return bubble.m_self;
  }
  return face_handle();
}
