#include "view/screen_capture.h"

#include <IL/il.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Quarvel::image::rgba_image;

TEST(CaptureFileName, CounterHasFourDigitsAtLeast) {
  EXPECT_EQ(Quarvel::image::capture_file_name(1), "screen_0001.png");
  EXPECT_EQ(Quarvel::image::capture_file_name(42), "screen_0042.png");
  EXPECT_EQ(Quarvel::image::capture_file_name(9999), "screen_9999.png");
  EXPECT_EQ(Quarvel::image::capture_file_name(10000), "screen_10000.png");
}

std::vector<unsigned char> bytes(rgba_image const& image) {
  return std::vector<unsigned char>(image.data(), image.data() + image.size());
}

TEST(Image, IsZeroFilledAndSized) {
  EXPECT_EQ(bytes(rgba_image(3, 2, 4)), std::vector<unsigned char>(24, 0));
  EXPECT_EQ(rgba_image(-5, 4, 4).size(), 0u);
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

TEST(SaveImage, WritesPngThatReadsBackPixelForPixel) {
  rgba_image image(5, 3, 4);
  for (std::size_t i = 0; i < image.size(); ++i) image.data()[i] = static_cast<unsigned char>((i * 37) % 256);
  // Fully opaque, so the comparison does not depend on how alpha is stored.
  for (std::size_t i = 3; i < image.size(); i += 4) image.data()[i] = 255;
  std::string const file = ::testing::TempDir() + "froth_capture_roundtrip.png";
  std::remove(file.c_str());
  ASSERT_TRUE(Quarvel::image::save_image(image, file));

  int width = 0, height = 0;
  EXPECT_EQ(load_rgba(file, width, height), bytes(image));
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(5, 3));

  // A second save to the same name overwrites the file.
  image.data()[0] = 1;
  ASSERT_TRUE(Quarvel::image::save_image(image, file));
  EXPECT_EQ(load_rgba(file, width, height), bytes(image));
  std::remove(file.c_str());
}

TEST(SaveImage, RefusesImagesWithoutPixelsOrAlpha) {
  std::string const file = ::testing::TempDir() + "froth_capture_refused.png";
  EXPECT_FALSE(Quarvel::image::save_image(rgba_image(0, 0, 4), file));
  EXPECT_FALSE(Quarvel::image::save_image(rgba_image(2, 2, 3), file));
  EXPECT_EQ(std::fopen(file.c_str(), "rb"), nullptr);
}

}  // namespace
