#ifndef FROTH_TESTS_TEST_HELPERS_H
#define FROTH_TESTS_TEST_HELPERS_H

// Helpers shared by the test files: captured console output and exception
// messages.

#include <iostream>
#include <sstream>
#include <string>

namespace froth_test {

/// Redirects std::cout into a string for its lifetime; restores its precision.
class ConsoleCapture {
 public:
  ConsoleCapture() : m_saved(std::cout.rdbuf(m_text.rdbuf())), m_precision(std::cout.precision()) {}
  ~ConsoleCapture() {
    std::cout.rdbuf(m_saved);
    std::cout.precision(m_precision);
  }
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
  std::streamsize m_precision;
};

/// The message of the exception of type E that the call throws; any other
/// exception passes through.
template <typename E, typename F>
std::string message_of(F&& f) {
  try {
    f();
  } catch (E const& e) {
    return e.what();
  }
  return "no exception";
}

}  // namespace froth_test

#endif
