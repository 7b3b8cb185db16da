#ifndef FROTH_FOAM_LINE_READER_H
#define FROTH_FOAM_LINE_READER_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace Quarvel {
namespace kordal {

/// Hands out the lines of a text file that hold something, split into fields
/// at blanks and tabs: blank lines and lines whose first field starts with
/// '#' are skipped, and a '\r' before the line end is dropped. Physical lines
/// are counted for the messages. A line longer than max_length, or a line
/// past the count's range, ends the reading with a refusal, so that a device,
/// binary junk without line ends or an endless stream of blank lines is
/// refused instead of being read on forever.
class LineReader {
 public:
  static constexpr std::size_t max_length = std::size_t(1) << 20;

  explicit LineReader(std::istream& in) : m_in(in) {}

  /// Moves to the next line with fields; false at the end of the input or at
  /// a refusal.
  bool next();

  /// Why the reading stopped before the end ("line longer than N bytes"), or
  /// empty.
  std::string const& refusal() const { return m_refusal; }
  /// A field as the messages show it: quoted, cut after 40 bytes, with
  /// control bytes as '?' so that binary junk cannot garble the terminal.
  static std::string quoted(std::string_view field);
  /// The physical line last read, from 1 (the refused line included).
  unsigned line() const { return m_line_number; }
  std::vector<std::string_view> const& fields() const { return m_fields; }

 private:
  bool read_line();
  void split();

  std::istream& m_in;
  std::string m_line;
  std::vector<std::string_view> m_fields;
  unsigned m_line_number = 0;
  std::string m_refusal;
};

}  // namespace kordal
}  // namespace Quarvel

#endif
