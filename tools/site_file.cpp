#include "site_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "foam/foam_file.h"
#include "foam/triangulate_sites.h"

namespace Quarvel {
namespace batch {

using vector3_type = math::BasicMathTypes::vector3_type;

bool read_site_file(std::string const& path, std::vector<vector3_type>& sites, std::string& error) {
  std::ifstream in;
  if (!kordal::open_for_reading(path, in, error)) return false;
  std::vector<vector3_type> read;
  std::string line;
  unsigned number = 0;
  auto fail = [&](std::string const& what) {
    error = path + ":" + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> fields;
    std::string w;
    while (words >> w) fields.push_back(w);
    if (fields.empty() || fields.front().front() == '#') continue;
    if (fields.size() != 2) return fail("a site line holds 'x y', found " + std::to_string(fields.size()) + " fields");
    double xy[2];
    for (int i = 0; i < 2; ++i) {
      char* end = nullptr;
      xy[i] = std::strtod(fields[i].c_str(), &end);
      std::string const shown = "'" + fields[i].substr(0, 40) + "'";
      if (end == fields[i].c_str() || *end != '\0') return fail(shown + " is not a number");
      if (!std::isfinite(xy[i])) return fail(shown + " is not finite");
    }
    read.emplace_back(xy[0], xy[1], 0.0);
  }
  if (in.bad()) {
    error = path + ": read error";
    return false;
  }
  sites = std::move(read);
  return true;
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
