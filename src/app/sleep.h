#ifndef FROTH_APP_SLEEP_H
#define FROTH_APP_SLEEP_H

#include <chrono>
#include <thread>

namespace Quarvel {
namespace glut {

/// Blocks the calling thread for at least the given number of milliseconds.
inline void sleep_milliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace glut
}  // namespace Quarvel

#endif
