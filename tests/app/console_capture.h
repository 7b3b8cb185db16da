#ifndef FROTH_TESTS_APP_CONSOLE_CAPTURE_H
#define FROTH_TESTS_APP_CONSOLE_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

#include "app/application.h"

namespace froth_test {

/// Redirects std::cout into a string for its lifetime.
class ConsoleCapture {
 public:
  ConsoleCapture() : m_saved(std::cout.rdbuf(m_text.rdbuf())) {}
  ~ConsoleCapture() { std::cout.rdbuf(m_saved); }
  ConsoleCapture(ConsoleCapture const&) = delete;
  ConsoleCapture& operator=(ConsoleCapture const&) = delete;

  /// Everything written so far, and starts afresh.
  std::string take() {
    std::string const text = m_text.str();
    m_text.str("");
    return text;
  }

 private:
  std::ostringstream m_text;
  std::streambuf* m_saved;
};

/// Sends each key through the frame's key path (as the keyboard callback does
/// after the quit keys) and returns what the program printed.
inline std::string press(Application& app, std::string const& keys) {
  ConsoleCapture console;
  for (char key : keys) app.dispatch_key(static_cast<unsigned char>(key));
  return console.take();
}

/// A started program without a window: help lines printed, start-up values set.
inline void start(Application& app) {
  ConsoleCapture console;
  app.init();
}

}  // namespace froth_test

#endif
