#ifndef FROTH_FOAM_BUBBLE_TAGS_H
#define FROTH_FOAM_BUBBLE_TAGS_H

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace kordal {

/// The bubbles' tags in ascending order.
inline std::vector<std::uint32_t> sorted_tags(FoamMesh const& foam) {
  std::vector<std::uint32_t> tags;
  tags.reserve(foam.face_size());
  for (auto const& f : foam.faces()) tags.push_back(f.m_tag);
  std::sort(tags.begin(), tags.end());
  return tags;
}

/// A tag that two entries of `sorted` share, if any: such a tag names no
/// single bubble.
inline std::optional<std::uint32_t> shared_tag(std::vector<std::uint32_t> const& sorted) {
  auto const twice = std::adjacent_find(sorted.begin(), sorted.end());
  if (twice == sorted.end()) return std::nullopt;
  return *twice;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
