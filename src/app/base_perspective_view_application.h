#ifndef FROTH_APP_BASE_PERSPECTIVE_VIEW_APPLICATION_H
#define FROTH_APP_BASE_PERSPECTIVE_VIEW_APPLICATION_H

// clang-format off
#include <GL/glew.h>  // before any other GL header
#include <GL/freeglut.h>
// clang-format on

#include <cstdlib>
#include <iostream>

#include "app/glut_application.h"
#include "app/glut_callbacks.h"
#include "view/camera.h"
#include "view/screen_capture.h"

namespace Quarvel {
namespace glut {

/// Entries of the frame's "controls" submenu.
inline constexpr MenuEntry controls_menu_entries[] = {
    {"quit                    [esc][q]", 'q'}, {"toggle idle                  [ ]", ' '},
    {"toggle camera orbit/rotate   [o]", 'o'}, {"toggle camera target locked  [l]", 'l'},
    {"screen capture               [y]", 'y'},
};

/// The frame of a perspective-view program: window geometry, the look-at
/// camera that the mouse pans and zooms, the camera and capture keys, GL
/// set-up and the frame loop. The program implements the hooks below.
///
/// GLUT and GL are touched only once a window exists (m_window != 0), apart
/// from the GL-only operations display, init_gl, init_menus, setup_lights,
/// setup_projection and reshape, which the callbacks call; so the hooks can be
/// driven without a window.
template <typename Types>
class BasePerspectiveViewApplication : public Application {
 public:
  using real_type = typename Types::real_type;
  using vector3_type = typename Types::vector3_type;
  using camera_type = Camera<Types>;

  double m_fovy = 30.0;   ///< vertical field of view, degrees
  double m_aspect = 1.0;  ///< width / height
  double m_z_near = 0.1;
  double m_z_far = 700.0;
  int m_width = 1024;   ///< window width in pixels
  int m_height = 768;   ///< window height in pixels
  int m_window = 0;     ///< GLUT window id; 0 while no window is open
  bool m_idle = false;  ///< the idle step runs continuously
  camera_type m_camera;
  bool m_capture = false;  ///< capture the next drawn frame
  bool m_zoom_mode = false;
  bool m_pan_mode = false;
  double m_last_x = 0.0;
  double m_last_y = 0.0;
  double m_zoom_sensitivity = 0.25;
  double m_pan_sensitivity = 0.25;

  char const* title() override { return window_title(); }

  void keyboard(unsigned char key) override {
    switch (key) {
      case 'l':
        std::cout << (m_camera.m_target_locked ? "target is free " : "target is locked") << std::endl;
        m_camera.m_target_locked = !m_camera.m_target_locked;
        break;
      case 'o':
        std::cout << (m_camera.m_orbit ? "orbit mode off " : "orbit mode on") << std::endl;
        m_camera.m_orbit = !m_camera.m_orbit;
        break;
      case 'y':
        m_capture = true;
        break;
      default:
        handle_key(key);
        break;
    }
  }

  void special(int key) override { handle_special_key(key); }

  void init_menus(int main_menu, menu_callback_type callback) override {
    int const controls = glutCreateMenu(callback);
    for (MenuEntry const& entry : controls_menu_entries) glutAddMenuEntry(entry.m_text, entry.m_key);
    glutSetMenu(main_menu);
    glutAddSubMenu("controls", controls);
    build_menus(main_menu, callback);
  }

  void init() override {
    m_zoom_mode = false;
    m_pan_mode = false;
    m_camera.m_target_locked = true;
    std::cout << "Rotating: hold down left mouse button" << std::endl;
    std::cout << "Zooming: hold down middle mouse button" << std::endl;
    std::cout << "Panning: press shift and hold down left mouse button" << std::endl;
    m_camera.look_at(vector3_type(0, 0, 100), vector3_type(0, 0, 0), vector3_type(0, 1, 0));
    initialize();
  }

  void run() override { run_step(); }

  void shutdown() override { on_shutdown(); }

  void mouse_down(double x, double y, bool shift, bool, bool alt, bool left, bool middle, bool) override {
    if (middle || (alt && left)) m_zoom_mode = true;
    if (shift && left) m_pan_mode = true;
    m_last_x = x;
    m_last_y = y;
  }

  /// Ends the drag: the last motion acts as in mouse_move, then both modes
  /// end, so a mode that was active together with zoom never outlives the
  /// release.
  void mouse_up(double x, double y, bool, bool, bool, bool, bool, bool) override {
    BasePerspectiveViewApplication::mouse_move(x, y);
    m_zoom_mode = false;
    m_pan_mode = false;
  }

  void mouse_move(double x, double y) override {
    if (m_zoom_mode) {
      m_camera.zoom((y - m_last_y) * m_zoom_sensitivity);
    } else if (m_pan_mode) {
      m_camera.pan((m_last_x - x) * m_pan_sensitivity, (y - m_last_y) * m_pan_sensitivity);
    }
    m_last_x = x;
    m_last_y = y;
  }

  void display() override {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m_camera.m_view);
    draw_scene();
    // Read back before the swap: the file holds exactly the frame about to be shown.
    if (m_capture) {
      image::capture_screen();
      m_capture = false;
    }
    glFinish();
    glutSwapBuffers();
  }

  void init_gl() override {
    GLenum const status = glewInit();
    if (status != GLEW_OK) {
      std::cerr << "GLEW Error: " << glewGetErrorString(status) << std::endl;
      std::exit(1);
    }
    std::cout << "GLEW status: Using GLEW " << glewGetString(GLEW_VERSION) << std::endl;
    glClearColor(0.7f, 0.7f, 0.7f, 1.0f);
    glEnable(GL_DEPTH_TEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glShadeModel(GL_SMOOTH);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    setup_lights();
  }

  void setup_lights() override {
    GLfloat const ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    GLfloat const diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    GLfloat const specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    GLfloat const position[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
  }

  void setup_projection() override {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    m_aspect = static_cast<double>(m_width) / static_cast<double>(m_height);
    gluPerspective(m_fovy, m_aspect, m_z_near, m_z_far);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }

  void reshape(int width, int height) override {
    m_width = width;
    m_height = height;
    glViewport(0, 0, width, height);
    setup_projection();
    setup_lights();
  }

  void dispatch_key(unsigned char key) override {
    if (key == ' ') set_idle(!m_idle);
    keyboard(key);
    post_redisplay();
  }

  // Application hooks.
  virtual void draw_scene() = 0;
  virtual void handle_key(unsigned char key) = 0;
  virtual void handle_special_key(int) {}
  virtual void build_menus(int main_menu, menu_callback_type callback) = 0;
  virtual void initialize() = 0;
  virtual void run_step() = 0;
  virtual void on_shutdown() = 0;
  virtual char const* window_title() = 0;

 protected:
  /// Sets m_idle and installs or removes the GLUT idle callback to match.
  void set_idle(bool on) {
    m_idle = on;
    if (m_window != 0) glutIdleFunc(on ? &idle_callback : nullptr);
  }

  void post_redisplay() {
    if (m_window != 0) glutPostRedisplay();
  }
};

}  // namespace glut
}  // namespace Quarvel

#endif
