#include "view/screen_capture.h"

#include <IL/il.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Quarvel::image::rgba_image;

std::vector<unsigned char> bytes(rgba_image const& image) {
  return std::vector<unsigned char>(image.data(), image.data() + image.size());
}

/// Loads a PNG through DevIL as RGBA with rows bottom first (the order of the
/// saved data); empty on failure.
std::vector<unsigned char> load_rgba(std::string const& file, int& width, int& height) {
  ilInit();
  ILuint name = 0;
  ilGenImages(1, &name);
  ilBindImage(name);
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
  std::vector<unsigned char> pixels;
  if (ilLoadImage(file.c_str()) == IL_TRUE && ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE) == IL_TRUE) {
    width = ilGetInteger(IL_IMAGE_WIDTH);
    height = ilGetInteger(IL_IMAGE_HEIGHT);
    ILubyte const* data = ilGetData();
    pixels.assign(data, data + static_cast<std::size_t>(width) * height * 4);
  }
  ilDeleteImages(1, &name);
  ilShutDown();
  return pixels;
}

// Fully opaque, so the comparison does not depend on how alpha is stored; a
// second save to the same name overwrites the file.
TEST(SaveImage, WritesPngThatReadsBackPixelForPixel) {
  rgba_image image(5, 3, 4);
  EXPECT_EQ(bytes(image), std::vector<unsigned char>(60, 0));
  for (std::size_t i = 0; i < image.size(); ++i) image.data()[i] = i % 4 == 3 ? 255 : (i * 37) % 256;
  std::string const file = ::testing::TempDir() + "froth_capture_roundtrip.png";
  std::remove(file.c_str());
  for (unsigned char first : {0, 1}) {
    image.data()[0] = first;
    ASSERT_TRUE(Quarvel::image::save_image(image, file));
    int width = 0, height = 0;
    EXPECT_EQ(load_rgba(file, width, height), bytes(image));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(5, 3));
  }
  std::remove(file.c_str());
}

// The file names' counter has four digits at least.
TEST(SaveImage, RefusesImagesWithoutPixelsOrAlphaAndNamesCaptures) {
  EXPECT_EQ(Quarvel::image::capture_file_name(42), "screen_0042.png");
  EXPECT_EQ(Quarvel::image::capture_file_name(10000), "screen_10000.png");
  std::string const file = ::testing::TempDir() + "froth_capture_refused.png";
  EXPECT_EQ(rgba_image(-5, 4, 4).size(), 0u);
  EXPECT_FALSE(Quarvel::image::save_image(rgba_image(0, 0, 4), file));
  EXPECT_FALSE(Quarvel::image::save_image(rgba_image(2, 2, 3), file));
  EXPECT_EQ(std::fopen(file.c_str(), "rb"), nullptr);
}

}  // namespace
