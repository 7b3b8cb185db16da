#ifndef FROTH_APP_GLUT_APPLICATION_H
#define FROTH_APP_GLUT_APPLICATION_H

namespace Quarvel {
namespace glut {

/// Signature of the GLUT menu callback handed to the menu builders.
using menu_callback_type = void (*)(int);

/// One pop-up menu entry: its text and the key code it sends.
struct MenuEntry {
  char const* m_text;
  unsigned char m_key;
};

/// The abstract GLUT application: every operation through which the GLUT
/// callbacks reach the program. The callbacks hold the one instance through a
/// global shared pointer (glut_callbacks.h).
class Application {
 public:
  virtual ~Application() = default;

  /// Window title.
  virtual char const* title() = 0;
  /// A key that the frame did not consume for quitting or idle switching.
  virtual void keyboard(unsigned char key) = 0;
  /// A special (non-ASCII) key.
  virtual void special(int key) = 0;
  /// Builds the frame's submenus and attaches them to main_menu.
  virtual void init_menus(int main_menu, menu_callback_type callback) = 0;
  /// Camera reset, help lines, then the application's start-up values.
  virtual void init() = 0;
  /// One idle step.
  virtual void run() = 0;
  /// Called once before the process ends through a quit key.
  virtual void shutdown() = 0;
  virtual void mouse_down(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) = 0;
  virtual void mouse_up(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) = 0;
  virtual void mouse_move(double x, double y) = 0;
  /// Draws one frame and swaps the buffers.
  virtual void display() = 0;
  /// GLEW and GL state; ends the process with status 1 when GLEW fails.
  virtual void init_gl() = 0;
  virtual void setup_lights() = 0;
  virtual void setup_projection() = 0;
  /// New window size: viewport, projection and lights follow.
  virtual void reshape(int width, int height) = 0;
  /// The key path after the quit keys: space switches the idle step on or
  /// off, then the key goes to keyboard() and a redisplay is posted.
  virtual void dispatch_key(unsigned char key) = 0;
};

}  // namespace glut
}  // namespace Quarvel

#endif
