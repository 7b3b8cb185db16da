#include "app/application.h"
#include "render/foam_renderer.h"

namespace render = Quarvel::render;

void Application::draw_scene() {
  glNormal3f(0.0f, 0.0f, 1.0f);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);

  // Camera motion per pixel follows the eye's distance to the foam's plane.
  vector3_type const origin(0, 0, 0);
  double const sensitivity = 0.001 * Quarvel::math::dot(origin - m_camera.m_position, m_camera.m_direction);
  m_zoom_sensitivity = sensitivity;
  m_pan_sensitivity = sensitivity;

  render::PressureRange const range = render::pressure_range(m_foam, m_filled, m_fill_intensity);
  render::draw_films(m_foam, m_filled, range);
  if (m_filled) render::draw_bubbles(m_foam, range);

  if (!m_overlay.m_visible) return;

  if (m_keys[static_cast<unsigned char>('=')]) {
    int bubble_panel_y = 4;
    vertex_handle const junction = selected_junction();
    if (!junction.is_null()) {
      render::set_color(0.1, 0.6, 0.6, 0.0);
      render::draw_marker(m_foam.get_vertex(junction).m_coord);
      m_overlay.m_anchor = 0;
      m_overlay.m_x = m_width - 144;
      m_overlay.m_y = 4;
      render::add_junction_info(m_overlay, m_foam, junction);
      m_overlay.draw();
      bubble_panel_y = 64;
    }
    face_handle const bubble = selected_bubble();
    if (!bubble.is_null()) {
      render::set_color(0.8, 0.1, 0.1, 0.0);
      render::draw_marker(render::bubble_centroid(m_foam, bubble));
      m_overlay.m_anchor = 0;
      m_overlay.m_x = m_width - 144;
      m_overlay.m_y = bubble_panel_y;
      render::add_bubble_info(m_overlay, m_foam, bubble);
      m_overlay.draw();
    }
  }

  m_overlay.m_anchor = 0;
  m_overlay.m_x = 4;
  m_overlay.m_y = 4;
  m_overlay.set_background(0.2f, 0.0f, 0.35f, 0.5f);
  render::add_statistics_lines(m_overlay, m_statistics);
  m_overlay.draw();

  if (m_resizing_sites) {
    m_overlay.m_anchor = 5;
    m_overlay.m_x = 0;
    m_overlay.m_y = 0;
    m_overlay.set_background(0.08f, 0.35f, 0.08f, 0.5f);
    m_overlay.print("sites: %i", m_site_count);
    m_overlay.draw();
  }

  if (render::topology_broken(m_statistics)) {
    m_overlay.m_anchor = 5;
    m_overlay.m_x = 0;
    m_overlay.m_y = 0;
    m_overlay.set_background(1.0f, 0.0f, 0.0f, 0.5f);
    render::add_topology_warning_lines(m_overlay);
    m_overlay.draw();
  }
}
