#ifndef FROTH_VIEW_SCREEN_CAPTURE_H
#define FROTH_VIEW_SCREEN_CAPTURE_H

#include <memory>
#include <string>

#include "view/image.h"

namespace Quarvel {
namespace image {

using rgba_image = Image<unsigned char>;

/// "screen_" + the counter in at least four digits, zero-filled, + ".png".
std::string capture_file_name(int counter);

/// The current GL viewport as an opaque RGBA image (rows bottom first, alpha
/// 255). Needs a current GL context.
std::shared_ptr<rgba_image> grab_screen();

/// Writes a 4-channel image through DevIL; the format follows the file name's
/// extension and an existing file is overwritten. Returns false when DevIL
/// gives no image name, the image is not RGBA, or the save fails.
bool save_image(rgba_image const& image, std::string const& file_name);

/// Grabs the viewport and saves it as the next numbered file of this process
/// (screen_0001.png first). A failed save is silent and still uses up its
/// number. Returns the file name used.
std::string capture_screen();

}  // namespace image
}  // namespace Quarvel

#endif
