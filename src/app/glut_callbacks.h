#ifndef FROTH_APP_GLUT_CALLBACKS_H
#define FROTH_APP_GLUT_CALLBACKS_H

#include <memory>

#include "app/glut_application.h"

namespace Quarvel {
namespace glut {

/// The one application object; every callback reaches it through here. It
/// lives until process exit.
extern std::shared_ptr<Application> application;

// GLUT callbacks, each dispatching through `application`; each posts a
// redisplay where the frame's event rules ask for one.
void display_callback();
void reshape_callback(int width, int height);
void mouse_callback(int button, int state, int x, int y);
void motion_callback(int x, int y);
void keyboard_callback(unsigned char key, int x, int y);
void special_callback(int key, int x, int y);
void menu_callback(int value);
void idle_callback();

/// The quit keys: escape (27) and 'q'.
inline bool is_quit_key(unsigned char key) { return key == 27 || key == 'q'; }

}  // namespace glut
}  // namespace Quarvel

#endif
