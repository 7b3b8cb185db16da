#ifndef FROTH_VIEW_IMAGE_H
#define FROTH_VIEW_IMAGE_H

#include <cstddef>
#include <vector>

namespace Quarvel {
namespace image {

/// A block of pixels: width x height x channels values, rows bottom first as
/// OpenGL reads them, zero-filled on construction. Negative sizes count as 0.
template <typename T>
class Image {
 public:
  Image(int width, int height, int channels)
      : m_width(width > 0 ? width : 0),
        m_height(height > 0 ? height : 0),
        m_channels(channels > 0 ? channels : 0),
        m_data(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height) *
                   static_cast<std::size_t>(m_channels),
               T(0)) {}

  int width() const { return m_width; }
  int height() const { return m_height; }
  int channels() const { return m_channels; }
  T* data() { return m_data.data(); }
  T const* data() const { return m_data.data(); }
  std::size_t size() const { return m_data.size(); }

 private:
  int m_width;
  int m_height;
  int m_channels;
  std::vector<T> m_data;
};

}  // namespace image
}  // namespace Quarvel

#endif
