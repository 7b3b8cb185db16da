#include "app/glut_callbacks.h"

// clang-format off
#include <GL/glew.h>  // before any other GL header
#include <GL/freeglut.h>
// clang-format on

#include <cstdlib>

#include "app/sleep.h"

namespace Quarvel {
namespace glut {

std::shared_ptr<Application> application;

void display_callback() { application->display(); }

void reshape_callback(int width, int height) {
  application->reshape(width, height);
  glutPostRedisplay();
}

void mouse_callback(int button, int state, int x, int y) {
  int const modifiers = glutGetModifiers();
  bool const shift = (modifiers & GLUT_ACTIVE_SHIFT) != 0;
  bool const ctrl = (modifiers & GLUT_ACTIVE_CTRL) != 0;
  bool const alt = (modifiers & GLUT_ACTIVE_ALT) != 0;
  bool const left = button == GLUT_LEFT_BUTTON;
  bool const middle = button == GLUT_MIDDLE_BUTTON;
  bool const right = button == GLUT_RIGHT_BUTTON;
  double const dx = x, dy = y;
  if (state == GLUT_DOWN) {
    application->mouse_down(dx, dy, shift, ctrl, alt, left, middle, right);
  } else {
    application->mouse_up(dx, dy, shift, ctrl, alt, left, middle, right);
  }
  glutPostRedisplay();
}

void motion_callback(int x, int y) {
  application->mouse_move(x, y);
  glutPostRedisplay();
}

void keyboard_callback(unsigned char key, int, int) {
  if (is_quit_key(key)) {
    application->shutdown();
    sleep_milliseconds(2000);
    std::exit(key);
  }
  application->dispatch_key(key);
}

void special_callback(int key, int, int) {
  if (key != -1) application->special(key);
  glutPostRedisplay();
}

void menu_callback(int value) { keyboard_callback(static_cast<unsigned char>(value), 0, 0); }

void idle_callback() {
  application->run();
  glutPostRedisplay();
}

}  // namespace glut
}  // namespace Quarvel
