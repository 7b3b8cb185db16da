#ifndef FROTH_APP_PERFORMANCE_COUNTER_H
#define FROTH_APP_PERFORMANCE_COUNTER_H

#include <chrono>
#include <cstdint>

namespace Quarvel {
namespace glut {

/// Ticks per second of the performance counter, as a 64-bit integer. Elapsed
/// seconds between two counts are (end - start) / frequency.
inline std::int64_t performance_frequency() {
  using period = std::chrono::steady_clock::period;
  return static_cast<std::int64_t>(period::den / period::num);
}

/// Current count of a monotonic, high-resolution counter; never goes back,
/// unaffected by changes of the wall clock.
inline std::int64_t performance_count() {
  return static_cast<std::int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

/// Seconds between two counts.
inline double elapsed_seconds(std::int64_t start, std::int64_t end, std::int64_t frequency) {
  return static_cast<double>(end - start) / static_cast<double>(frequency);
}

}  // namespace glut
}  // namespace Quarvel

#endif
