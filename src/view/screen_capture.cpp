#include "view/screen_capture.h"

#include <GL/glew.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>

#include <iomanip>
#include <sstream>

namespace Quarvel {
namespace image {

namespace {
// Number of the last capture of this process; the first capture is 1.
int capture_counter = 0;
}  // namespace

std::string capture_file_name(int counter) {
  std::ostringstream name;
  name << "screen_" << std::setw(4) << std::setfill('0') << counter << ".png";
  return name.str();
}

std::shared_ptr<rgba_image> grab_screen() {
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  auto image = std::make_shared<rgba_image>(viewport[2], viewport[3], 4);
  if (image->size() == 0) return image;
  // Rows of the default pack alignment (4) match RGBA bytes exactly.
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(viewport[0], viewport[1], image->width(), image->height(), GL_RGBA, GL_UNSIGNED_BYTE, image->data());
  // The window shows every pixel opaque, whatever alpha the drawing wrote (films
  // and fills are drawn with alpha 0); on a visual with alpha bits the file
  // would otherwise show the foam as holes.
  unsigned char* pixels = image->data();
  for (std::size_t i = 3; i < image->size(); i += 4) pixels[i] = 255;
  return image;
}

bool save_image(rgba_image const& image, std::string const& file_name) {
  if (image.channels() != 4 || image.size() == 0) return false;
  // The library is brought up and shut down around every single save.
  ilInit();
  iluInit();
  ilutInit();
  ILuint name = 0;
  ilGenImages(1, &name);
  bool saved = false;
  if (name != 0) {
    ilBindImage(name);
    // DevIL takes the data as lower-left origin, the order glReadPixels gives.
    if (ilTexImage(static_cast<ILuint>(image.width()), static_cast<ILuint>(image.height()), 1, 4, IL_RGBA,
                   IL_UNSIGNED_BYTE, const_cast<unsigned char*>(image.data())) == IL_TRUE) {
      ilEnable(IL_FILE_OVERWRITE);
      saved = ilSaveImage(file_name.c_str()) == IL_TRUE;
    }
    ilDeleteImages(1, &name);
  }
  ilShutDown();
  return saved;
}

std::string capture_screen() {
  ++capture_counter;
  std::string const file_name = capture_file_name(capture_counter);
  std::shared_ptr<rgba_image> image = grab_screen();
  save_image(*image, file_name);
  return file_name;
}

}  // namespace image
}  // namespace Quarvel
