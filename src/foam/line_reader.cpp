#include "foam/line_reader.h"

#include <istream>
#include <limits>

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

// std::getline would grow the line without bound; this reads it in chunks
// (istream::getline scans the stream's buffer for the line end) and stops
// at the first chunk past the limit.
bool LineReader::read_line() {
  m_line.clear();
  char chunk[4096];
  for (;;) {
    m_in.getline(chunk, sizeof chunk);
    std::size_t const n = static_cast<std::size_t>(m_in.gcount());
    bool const line_end = m_in.good();
    // Without a line end gcount counts only the bytes stored.
    m_line.append(chunk, line_end ? n - 1 : n);
    if (m_line.size() > max_length) {
      m_refusal = "line longer than " + std::to_string(max_length) + " bytes";
      return true;
    }
    if (line_end) return true;
    if (m_in.eof()) return !m_line.empty();
    // A full chunk sets failbit; the line goes on.
    if (n + 1 != sizeof chunk) return false;
    m_in.clear();
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
