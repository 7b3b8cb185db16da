#include "foam/foam_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "foam/bubble_tags.h"
#include "foam/foam_geometry.h"
#include "foam/line_reader.h"

namespace Quarvel {
namespace kordal {

namespace {

using vector3_type = FoamMesh::vector3_type;
using vertex_handle = FoamMesh::vertex_handle;

constexpr char const* header_keyword = "froth-foam";
constexpr std::uint32_t format_version = 1;
// At most this many junctions or bubbles: the mesh of such a foam takes
// gigabytes, so a larger count is junk, and an endless stream of junction
// lines ends here. (It stays far below the 32-bit handles' null value.)
constexpr std::uint64_t max_count = std::uint64_t(1) << 25;
// A foam of J junctions has fewer than 3 J films.
constexpr std::uint64_t max_film_count = 3 * max_count;
constexpr std::uint64_t max_tag = 0xffffffffu;
constexpr std::uint64_t max_seed = 0xffffffffu;
// Restoring the generator replays its draws: beyond this many (minutes of
// replay) the count is junk.
constexpr std::uint64_t max_draws = std::uint64_t(1) << 36;

void append_real(std::string& out, double v) {
  // 17 significant digits give back the same double on reading.
  char buffer[40];
  int const n = std::snprintf(buffer, sizeof buffer, "%.17g", v);
  out.append(buffer, static_cast<std::size_t>(n));
}

struct ParseError {
  unsigned line;
  std::string what;
};

// The foam's lines: a refused line (too long, too many) is a parse error.
class FoamLines {
 public:
  explicit FoamLines(std::istream& in) : m_lines(in) {}

  bool next() {
    if (m_lines.next()) return true;
    if (!m_lines.refusal().empty()) fail(m_lines.refusal());
    return false;
  }

  unsigned line() const { return m_lines.line(); }
  // Where a message about a missing line points: the line after the last one.
  unsigned end_line() const { return m_lines.line() + 1; }
  bool read_any_line() const { return m_lines.line() > 0; }
  std::vector<std::string_view> const& fields() const { return m_lines.fields(); }

  [[noreturn]] void fail(std::string what) const { throw ParseError{line(), std::move(what)}; }
  [[noreturn]] void fail_at_end(std::string what) const { throw ParseError{end_line(), std::move(what)}; }

 private:
  LineReader m_lines;
};

double parse_real(FoamLines const& r, std::string_view field, char const* what) {
  std::string const text(field);
  char* end = nullptr;
  errno = 0;
  double const v = std::strtod(text.c_str(), &end);
  // A zero byte inside the field ends strtod's reading, not the field.
  if (end == text.c_str() || end != text.c_str() + text.size()) {
    r.fail(std::string(what) + " " + LineReader::quoted(field) + " is not a number");
  }
  if (!std::isfinite(v)) r.fail(std::string(what) + " " + LineReader::quoted(field) + " is not finite");
  return v;
}

std::uint64_t parse_count(FoamLines const& r, std::string_view field, char const* what,
                          std::uint64_t limit = max_count) {
  if (field.empty() || field.size() > 18 ||
      !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    r.fail(std::string(what) + " " + LineReader::quoted(field) + " is not a whole number");
  }
  std::uint64_t v = 0;
  for (char c : field) v = v * 10 + static_cast<std::uint64_t>(c - '0');
  if (v > limit) {
    r.fail(std::string(what) + " " + std::string(field) + " is too large (at most " + std::to_string(limit) + ")");
  }
  return v;
}

void expect_line(FoamLines& r, char const* expected) {
  if (!r.next()) r.fail_at_end(std::string("file ends where '") + expected + "' is expected");
}

double read_keyword_real(FoamLines& r, char const* keyword) {
  std::string const expected = std::string(keyword) + " <number>";
  expect_line(r, expected.c_str());
  auto const& f = r.fields();
  if (f.size() != 2 || f[0] != keyword) r.fail("expected '" + expected + "'");
  return parse_real(r, f[1], keyword);
}

std::uint64_t read_keyword_count(FoamLines& r, char const* keyword) {
  std::string const expected = std::string(keyword) + " <count>";
  expect_line(r, expected.c_str());
  auto const& f = r.fields();
  if (f.size() != 2 || f[0] != keyword) r.fail("expected '" + expected + "'");
  return parse_count(r, f[1], keyword);
}

void read_header(FoamLines& r) {
  if (!r.next()) {
    if (r.read_any_line()) r.fail_at_end("no foam in the file (expected 'froth-foam 1')");
    throw ParseError{1, "empty file (expected 'froth-foam 1')"};
  }
  auto const& f = r.fields();
  if (f[0] != header_keyword) r.fail("not a foam file (expected 'froth-foam 1')");
  if (f.size() != 2) r.fail("expected 'froth-foam 1'");
  std::uint64_t const version = parse_count(r, f[1], "version");
  if (version != format_version) {
    r.fail("unsupported version " + std::to_string(version) + " (this program reads version 1)");
  }
}

struct BubbleRecord {
  double pressure;
  double target_area;
  bool outer;
  unsigned line;
  std::size_t first;  // into the shared index list
  std::size_t count;
};

void parse(FoamLines& r, FoamMesh& foam) {
  read_header(r);
  double const film_tension = read_keyword_real(r, "film_tension");
  if (film_tension < 0.0) r.fail("film_tension must not be negative");
  double const outside_pressure = read_keyword_real(r, "outside_pressure");

  std::uint64_t const junction_count = read_keyword_count(r, "junctions");
  unsigned const junction_count_line = r.line();
  std::vector<vector3_type> positions;
  // Counts come from the file: reserve no more than a sane amount up front.
  positions.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(junction_count, 1u << 20)));
  for (std::uint64_t i = 0; i < junction_count; ++i) {
    auto declared = [&] {
      return std::to_string(junction_count) + " declared on line " + std::to_string(junction_count_line);
    };
    if (!r.next()) r.fail_at_end("file ends after " + std::to_string(i) + " of the " + declared() + " junctions");
    auto const& f = r.fields();
    if (f[0] == "bubbles") r.fail("only " + std::to_string(i) + " junction lines, but " + declared());
    if (f.size() != 2) r.fail("a junction line holds 'x y', found " + std::to_string(f.size()) + " fields");
    double const x = parse_real(r, f[0], "x");
    double const y = parse_real(r, f[1], "y");
    positions.emplace_back(x, y, 0.0);
  }

  expect_line(r, "bubbles <count>");
  if (r.fields()[0] != "bubbles") {
    r.fail("expected 'bubbles <count>' after the " + std::to_string(junction_count) + " junctions declared on line " +
           std::to_string(junction_count_line) + " (more junction lines than declared?)");
  }
  if (r.fields().size() != 2) r.fail("expected 'bubbles <count>'");
  std::uint64_t const bubble_count = parse_count(r, r.fields()[1], "bubbles");
  unsigned const bubble_count_line = r.line();

  std::vector<BubbleRecord> bubbles;
  bubbles.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bubble_count, 1u << 20)));
  std::vector<std::uint32_t> indices;
  // stamp[j] = 1 + the bubble that last listed junction j: finds repeats in O(k).
  std::vector<std::uint64_t> stamp(positions.size(), 0);
  unsigned outer_line = 0;
  std::string const range = positions.empty() ? std::string("(the foam has no junctions)")
                                              : "(0.." + std::to_string(positions.size() - 1) + ")";
  for (std::uint64_t b = 0; b < bubble_count; ++b) {
    if (!r.next()) {
      r.fail_at_end("file ends after " + std::to_string(b) + " of the " + std::to_string(bubble_count) +
                    " bubbles declared on line " + std::to_string(bubble_count_line));
    }
    auto const& f = r.fields();
    if (f.size() < 4) r.fail("a bubble line holds 'pressure target_area outer k j0 ... j(k-1)'");
    BubbleRecord rec{};
    rec.pressure = parse_real(r, f[0], "pressure");
    rec.target_area = parse_real(r, f[1], "target_area");
    if (f[2] != "0" && f[2] != "1") r.fail("outer must be 0 or 1, found " + LineReader::quoted(f[2]));
    rec.outer = f[2] == "1";
    std::uint64_t const k = parse_count(r, f[3], "junction count");
    if (k + 4 != f.size()) {
      r.fail("the bubble declares " + std::to_string(k) + " junctions but lists " + std::to_string(f.size() - 4));
    }
    if (k < 3) r.fail("a bubble needs at least 3 junctions, found " + std::to_string(k));
    // Each film borders at most two bubbles.
    if (indices.size() + k > 2 * max_film_count) {
      r.fail("the bubbles list more than " + std::to_string(2 * max_film_count) + " junctions in all");
    }
    if (rec.outer) {
      if (outer_line != 0) r.fail("a second outer bubble (the first is on line " + std::to_string(outer_line) + ")");
      outer_line = r.line();
    }
    rec.line = r.line();
    rec.first = indices.size();
    rec.count = static_cast<std::size_t>(k);
    for (std::size_t i = 4; i < f.size(); ++i) {
      std::uint64_t const j = parse_count(r, f[i], "junction index");
      if (j >= positions.size()) r.fail("junction index " + std::to_string(j) + " out of range " + range);
      if (stamp[j] == b + 1) r.fail("junction " + std::to_string(j) + " appears twice in the bubble");
      stamp[j] = b + 1;
      indices.push_back(static_cast<std::uint32_t>(j));
    }
    bubbles.push_back(rec);
  }
  // Three optional sections follow, in this order. The film orientations: a
  // file without them gets every film oriented by the first bubble that lists
  // it. The tags: without them the bubbles are tagged 0, 1, ... in file
  // order. The generator's state: without it the generator is left alone.
  std::string after = "more bubble lines than the " + std::to_string(bubble_count) + " declared on line " +
                      std::to_string(bubble_count_line);
  bool more = r.next();
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reversed;
  std::vector<unsigned> reversed_lines;
  if (more && r.fields()[0] == "reversed_films") {
    if (r.fields().size() != 2) r.fail("expected 'reversed_films <count>'");
    std::uint64_t const reversed_count = parse_count(r, r.fields()[1], "reversed_films", max_film_count);
    unsigned const reversed_count_line = r.line();
    for (std::uint64_t i = 0; i < reversed_count; ++i) {
      if (!r.next()) {
        r.fail_at_end("file ends after " + std::to_string(i) + " of the " + std::to_string(reversed_count) +
                      " reversed films declared on line " + std::to_string(reversed_count_line));
      }
      auto const& f = r.fields();
      if (f.size() != 2) r.fail("a reversed film line holds 'a b', found " + std::to_string(f.size()) + " fields");
      std::uint64_t const a = parse_count(r, f[0], "junction index");
      std::uint64_t const b = parse_count(r, f[1], "junction index");
      for (std::uint64_t j : {a, b}) {
        if (j >= positions.size()) r.fail("junction index " + std::to_string(j) + " out of range " + range);
      }
      reversed.emplace_back(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
      reversed_lines.push_back(r.line());
    }
    after = "more reversed film lines than the " + std::to_string(reversed_count) + " declared on line " +
            std::to_string(reversed_count_line);
    more = r.next();
  }
  std::vector<std::uint32_t> tags;
  if (more && r.fields()[0] == "tags") {
    if (r.fields().size() != 2) r.fail("expected 'tags <count>'");
    std::uint64_t const tag_count = parse_count(r, r.fields()[1], "tags");
    if (tag_count != bubble_count) {
      r.fail("tags " + std::to_string(tag_count) + " for the " + std::to_string(bubble_count) + " bubbles");
    }
    unsigned const tag_count_line = r.line();
    tags.reserve(bubbles.size());
    for (std::uint64_t i = 0; i < tag_count; ++i) {
      if (!r.next()) {
        r.fail_at_end("file ends after " + std::to_string(i) + " of the " + std::to_string(tag_count) +
                      " tags declared on line " + std::to_string(tag_count_line));
      }
      if (r.fields().size() != 1) r.fail("a tag line holds one tag");
      tags.push_back(static_cast<std::uint32_t>(parse_count(r, r.fields()[0], "tag", max_tag)));
    }
    std::vector<std::uint32_t> sorted = tags;
    std::sort(sorted.begin(), sorted.end());
    if (auto const twice = shared_tag(sorted)) r.fail("tag " + std::to_string(*twice) + " is given to two bubbles");
    after = "more tag lines than the " + std::to_string(tag_count) + " declared on line " +
            std::to_string(tag_count_line);
    more = r.next();
  }
  GeneratorState generator;
  if (more && r.fields()[0] == "generator") {
    if (r.fields().size() != 3) r.fail("expected 'generator <seed> <draws>'");
    generator.m_known = true;
    generator.m_seed = static_cast<unsigned>(parse_count(r, r.fields()[1], "seed", max_seed));
    generator.m_draws = parse_count(r, r.fields()[2], "draws", max_draws);
    after = "nothing may follow the generator line";
    more = r.next();
  }
  if (more) r.fail(after);

  // Everything is read and checked; only the mesh's own refusals remain.
  FoamMesh built;
  built.m_film_tension = film_tension;
  built.m_outside_pressure = outside_pressure;
  std::vector<vertex_handle> handles;
  handles.reserve(positions.size());
  for (auto const& p : positions) handles.push_back(built.add_vertex(p));
  std::vector<vertex_handle> loop;
  for (auto const& rec : bubbles) {
    loop.clear();
    for (std::size_t i = 0; i < rec.count; ++i) loop.push_back(handles[indices[rec.first + i]]);
    auto const f = built.add_face(loop);
    if (f.is_null()) {
      throw ParseError{rec.line,
                       "the mesh refuses this bubble (one of its films already has a bubble on this side, "
                       "or its junctions cannot be joined to the bubbles before it)"};
    }
    auto& face = built.get_face(f);
    face.m_pressure = rec.pressure;
    face.m_target_area = rec.target_area;
    face.m_is_outer = rec.outer;
    face.m_tag = tags.empty() ? static_cast<std::uint32_t>(&rec - bubbles.data()) : tags[&rec - bubbles.data()];
  }
  built.m_generator = generator;
  for (std::size_t i = 0; i < reversed.size(); ++i) {
    auto const h = built.find_halfedge(handles[reversed[i].first], handles[reversed[i].second]);
    if (h.is_null()) {
      throw ParseError{reversed_lines[i], "no film joins junctions " + std::to_string(reversed[i].first) + " and " +
                                              std::to_string(reversed[i].second)};
    }
    auto const e = built.get_halfedge(h).m_edge;
    if (built.get_edge(e).m_halfedge0 == h) {
      throw ParseError{reversed_lines[i], "the film from junction " + std::to_string(reversed[i].first) + " to " +
                                              std::to_string(reversed[i].second) +
                                              " already runs that way (listed twice, or not reversed)"};
    }
    built.set_halfedge0(e, h);
    built.set_halfedge1(e, built.twin(h));
  }
  foam = std::move(built);
}

std::string errno_text(int err) { return std::strerror(err); }

bool write_all(int fd, std::string const& bytes) {
  char const* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t const n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::size_t largest_edge_index(FoamMesh const& foam) {
  std::uint32_t largest = 0;
  for (auto const& e : foam.edges()) largest = std::max(largest, e.m_self.get_idx());
  return largest;
}

}  // namespace

void write_foam(FoamMesh const& foam, std::ostream& out) {
  std::string text;
  text.reserve(64 + 48 * foam.vertex_size() + 96 * foam.face_size());
  text += header_keyword;
  text += " 1\nfilm_tension ";
  append_real(text, foam.m_film_tension);
  text += "\noutside_pressure ";
  append_real(text, foam.m_outside_pressure);
  text += "\njunctions ";
  text += std::to_string(foam.vertex_size());
  text += '\n';

  // Handles keep their creation index after removals; the file numbers the
  // junctions by list position instead.
  std::uint32_t largest = 0;
  for (auto const& v : foam.vertices()) largest = std::max(largest, v.m_self.get_idx());
  std::vector<std::uint32_t> position(foam.vertex_size() == 0 ? 0 : std::size_t(largest) + 1, 0);
  std::uint32_t next = 0;
  for (auto const& v : foam.vertices()) {
    position[v.m_self.get_idx()] = next++;
    append_real(text, v.m_coord.x);
    text += ' ';
    append_real(text, v.m_coord.y);
    text += '\n';
  }

  text += "bubbles ";
  text += std::to_string(foam.face_size());
  text += '\n';
  for (auto const& f : foam.faces()) {
    append_real(text, f.m_pressure);
    text += ' ';
    append_real(text, f.m_target_area);
    text += f.m_is_outer ? " 1 " : " 0 ";
    text += std::to_string(film_count(f));
    // Destinations from the border half-edge on: add_face makes the half-edge
    // from the last listed junction to the first the border again.
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      text += ' ';
      text += std::to_string(position[c->m_destination.get_idx()]);
    }
    text += '\n';
  }

  // A film's first border runs the way of the first bubble that lists it,
  // unless it is named here: the T1 event reads a film's orientation.
  std::vector<char> seen(foam.edge_size() == 0 ? 0 : largest_edge_index(foam) + 1, 0);
  std::string reversed;
  std::size_t reversed_count = 0;
  for (auto const& f : foam.faces()) {
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) {
      std::uint32_t const e = c->m_edge.get_idx();
      if (seen[e]) continue;
      seen[e] = 1;
      auto const first = foam.get_edge(c->m_edge).m_halfedge0;
      if (first == c.handle()) continue;
      reversed += std::to_string(position[foam.origin(first).get_idx()]);
      reversed += ' ';
      reversed += std::to_string(position[foam.destination(first).get_idx()]);
      reversed += '\n';
      ++reversed_count;
    }
  }
  text += "reversed_films ";
  text += std::to_string(reversed_count);
  text += '\n';
  text += reversed;

  // The tags are written only where they say more than the file order, which
  // a file without them gets: tags shared by bubbles name none of them.
  bool in_file_order = true;
  std::uint32_t in_order = 0;
  for (auto const& f : foam.faces()) in_file_order = in_file_order && f.m_tag == in_order++;
  if (!in_file_order && !shared_tag(sorted_tags(foam))) {
    text += "tags ";
    text += std::to_string(foam.face_size());
    text += '\n';
    for (auto const& f : foam.faces()) {
      text += std::to_string(f.m_tag);
      text += '\n';
    }
  }
  if (foam.m_generator.m_known) {
    text += "generator ";
    text += std::to_string(foam.m_generator.m_seed);
    text += ' ';
    text += std::to_string(foam.m_generator.m_draws);
    text += '\n';
  }
  out << text;
}

bool read_foam(std::istream& in, std::string const& name, FoamMesh& foam, std::string& error) {
  FoamLines reader(in);
  try {
    parse(reader, foam);
  } catch (ParseError const& e) {
    error = name + ":" + std::to_string(e.line) + ": " + e.what;
    return false;
  }
  if (in.bad()) {
    error = name + ": read error";
    return false;
  }
  return true;
}

bool save_foam(FoamMesh const& foam, std::string const& path, std::string& error) {
  std::ostringstream buffer;
  write_foam(foam, buffer);
  std::string const bytes = buffer.str();

  struct stat st {};
  bool const exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe cannot be replaced by a rename; it is written in place.
    int const fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) {
      error = path + ": cannot open for writing (" + errno_text(errno) + ")";
      return false;
    }
    bool const ok = write_all(fd, bytes);
    int const err = errno;
    ::close(fd);
    if (!ok) error = path + ": cannot write (" + errno_text(err) + ")";
    return ok;
  }

  std::string temp = path + ".XXXXXX";
  int const fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = path + ": cannot create a temporary file next to it (" + errno_text(errno) + ")";
    return false;
  }
  // mkstemp makes the file private; the saved foam gets the mode a new file
  // would get, or keeps the mode of the file it replaces.
  mode_t mode = st.st_mode & 07777;
  if (!exists) {
    mode_t const mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, bytes);
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = path + ": cannot write (" + errno_text(err) + ")";
  }
  return ok;
}

bool open_for_reading(std::string const& path, std::ifstream& in, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = path + ": cannot open (Is a directory)";
    return false;
  }
  in.open(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open (" + errno_text(errno) + ")";
    return false;
  }
  return true;
}

bool load_foam(std::string const& path, FoamMesh& foam, std::string& error) {
  std::ifstream in;
  return open_for_reading(path, in, error) && read_foam(in, path, foam, error);
}

}  // namespace kordal
}  // namespace Quarvel
