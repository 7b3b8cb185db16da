#include "site_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "foam/foam_file.h"
#include "foam/line_reader.h"
#include "foam/triangulate_sites.h"

namespace Quarvel {
namespace batch {

using vector3_type = math::BasicMathTypes::vector3_type;

namespace {

// More sites than this would give a foam of more junctions than a foam file
// may hold; it also ends an endless stream of site lines.
constexpr std::size_t max_sites = std::size_t(1) << 25;

}  // namespace

bool read_sites(std::istream& in, std::string const& name, std::vector<vector3_type>& sites, std::string& error) {
  kordal::LineReader lines(in);
  std::vector<vector3_type> read;
  auto fail = [&](std::string const& what) {
    error = name + ":" + std::to_string(lines.line()) + ": " + what;
    return false;
  };
  while (lines.next()) {
    auto const& fields = lines.fields();
    if (fields.size() != 2) return fail("a site line holds 'x y', found " + std::to_string(fields.size()) + " fields");
    if (read.size() == max_sites) return fail("more than " + std::to_string(max_sites) + " sites");
    double xy[2];
    for (int i = 0; i < 2; ++i) {
      std::string const field(fields[i]);
      char* end = nullptr;
      xy[i] = std::strtod(field.c_str(), &end);
      std::string const shown = kordal::LineReader::quoted(fields[i]);
      // A zero byte inside the field ends strtod's reading, not the field.
      if (end == field.c_str() || end != field.c_str() + field.size()) return fail(shown + " is not a number");
      if (!std::isfinite(xy[i])) return fail(shown + " is not finite");
    }
    read.emplace_back(xy[0], xy[1], 0.0);
  }
  if (!lines.refusal().empty()) return fail(lines.refusal());
  if (in.bad()) {
    error = name + ": read error";
    return false;
  }
  sites = std::move(read);
  return true;
}

bool read_site_file(std::string const& path, std::vector<vector3_type>& sites, std::string& error) {
  std::ifstream in;
  return kordal::open_for_reading(path, in, error) && read_sites(in, path, sites, error);
}

std::string degenerate_sites_reason(std::vector<vector3_type> const& sites) {
  if (kordal::sites_span_plane(sites)) return std::string();
  std::vector<std::pair<double, double>> xy;
  xy.reserve(sites.size());
  for (auto const& s : sites) xy.emplace_back(s.x, s.y);
  std::sort(xy.begin(), xy.end());
  std::size_t const distinct = static_cast<std::size_t>(std::unique(xy.begin(), xy.end()) - xy.begin());
  return distinct < 3 ? "fewer than three distinct sites" : "all sites lie on one line";
}

}  // namespace batch
}  // namespace Quarvel
