// clang-format off
#include <GL/glew.h>  // before any other GL header
#include <GL/freeglut.h>
// clang-format on

#include <memory>

#include "app/application.h"
#include "app/glut_callbacks.h"
#include "solver/memory_reuse.h"

int main(int argc, char** argv) {
  namespace glut = Quarvel::glut;
  Quarvel::solver::keep_freed_memory();
  glutInit(&argc, argv);
  // Closing the window returns from the main loop instead of ending the
  // process inside GLUT, so the application is released normally.
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);

  auto application = std::make_shared<Application>();
  glut::application = application;

  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(application->m_width, application->m_height);
  glutInitWindowPosition(50, 50);
  application->m_window = glutCreateWindow(application->title());
  application->init_gl();

  int const main_menu = glutCreateMenu(&glut::menu_callback);
  application->init_menus(main_menu, &glut::menu_callback);
  glutSetMenu(main_menu);
  glutAttachMenu(GLUT_RIGHT_BUTTON);

  application->init();

  glutDisplayFunc(&glut::display_callback);
  glutReshapeFunc(&glut::reshape_callback);
  glutMouseFunc(&glut::mouse_callback);
  glutMotionFunc(&glut::motion_callback);
  glutPassiveMotionFunc(&glut::motion_callback);
  glutKeyboardFunc(&glut::keyboard_callback);
  glutSpecialFunc(&glut::special_callback);

  glutMainLoop();

  application->shutdown();
  application.reset();
  glut::application.reset();
  return 0;
}
