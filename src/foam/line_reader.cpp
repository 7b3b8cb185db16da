#include "foam/line_reader.h"

#include <istream>
#include <limits>
#include <streambuf>

namespace Quarvel {
namespace kordal {

bool LineReader::next() {
  while (m_refusal.empty() && read_line()) {
    if (m_line_number == std::numeric_limits<unsigned>::max()) {
      m_refusal = "more than " + std::to_string(m_line_number) + " lines";
      return false;
    }
    ++m_line_number;
    if (!m_refusal.empty()) return false;
    if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
    split();
    if (!m_fields.empty() && m_fields.front().front() != '#') return true;
  }
  return false;
}

std::string LineReader::quoted(std::string_view field) {
  std::string out = "'";
  for (char c : field.substr(0, 40)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  if (field.size() > 40) out += "...";
  out += "'";
  return out;
}

// std::getline would grow the line without bound; this reads the stream
// buffer directly and stops one byte past the limit.
bool LineReader::read_line() {
  m_line.clear();
  std::istream::sentry ok(m_in, true);
  if (!ok) return false;
  std::streambuf& buffer = *m_in.rdbuf();
  for (;;) {
    int const c = buffer.sbumpc();
    if (c == std::char_traits<char>::eof()) {
      m_in.setstate(std::ios::eofbit);
      return !m_line.empty();
    }
    if (c == '\n') return true;
    if (m_line.size() == max_length) {
      m_refusal = "line longer than " + std::to_string(max_length) + " bytes";
      return true;
    }
    m_line.push_back(static_cast<char>(c));
  }
}

void LineReader::split() {
  m_fields.clear();
  std::size_t i = 0;
  std::size_t const n = m_line.size();
  while (i < n) {
    while (i < n && (m_line[i] == ' ' || m_line[i] == '\t')) ++i;
    std::size_t const start = i;
    while (i < n && m_line[i] != ' ' && m_line[i] != '\t') ++i;
    if (i > start) m_fields.emplace_back(m_line.data() + start, i - start);
  }
}

}  // namespace kordal
}  // namespace Quarvel
