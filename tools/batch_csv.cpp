#include "batch_csv.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "foam/foam_geometry.h"

namespace Quarvel {
namespace batch {

namespace {

constexpr unsigned smallest_n = AreaChanges::smallest_n;
constexpr unsigned largest_n = AreaChanges::largest_n;

void append(std::string& out, double v) {
  char buffer[32];
  int const n = std::snprintf(buffer, sizeof buffer, ",%.10g", v);
  out.append(buffer, static_cast<std::size_t>(n));
}

void append(std::string& out, std::uint64_t v) {
  out += ',';
  out += std::to_string(v);
}

}  // namespace

std::vector<std::string> const& csv_columns() {
  static std::vector<std::string> const columns = [] {
    std::vector<std::string> c = {"loop",      "wall_seconds", "bubbles",    "junctions",  "t1",
                                  "t2",        "t1_total",     "t2_total",   "mean_edges", "second_moment",
                                  "mean_area", "area_error",   "mean_angle", "angle_error"};
    for (unsigned n = smallest_n; n <= largest_n; ++n) c.push_back("p" + std::to_string(n));
    for (unsigned n = smallest_n; n <= largest_n; ++n) c.push_back("da" + std::to_string(n));
    return c;
  }();
  return columns;
}

std::string csv_header() {
  std::string line;
  for (auto const& c : csv_columns()) {
    if (!line.empty()) line += ',';
    line += c;
  }
  line += '\n';
  return line;
}

std::vector<double> csv_values(std::uint64_t loop, double seconds, std::uint32_t t1, std::uint32_t t2,
                               kordal::FoamStatistics<kordal::FoamMesh> const& s, AreaChanges const* changes) {
  std::vector<double> v = {double(loop),   seconds,           double(s.m_cell_count), double(s.m_vertex_count),
                           double(t1),     double(t2),        double(s.m_t1_total),   double(s.m_t2_total),
                           s.m_mean_edges, s.m_second_moment, s.m_mean_area,          s.m_area_error,
                           s.m_mean_angle, s.m_angle_error};
  for (unsigned n = smallest_n; n <= largest_n; ++n) {
    v.push_back(n < s.m_distribution.size() ? s.m_distribution[n] : 0.0);
  }
  for (std::size_t k = 0; k <= largest_n - smallest_n; ++k) {
    bool const counted = changes != nullptr && changes->m_count[k] > 0;
    v.push_back(counted ? changes->m_mean[k] : std::numeric_limits<double>::quiet_NaN());
  }
  return v;
}

std::string csv_row(std::uint64_t loop, double seconds, std::uint32_t t1, std::uint32_t t2,
                    kordal::FoamStatistics<kordal::FoamMesh> const& s, AreaChanges const* changes) {
  std::vector<double> const v = csv_values(loop, seconds, t1, t2, s, changes);
  std::size_t const first_change = v.size() - (largest_n - smallest_n + 1);
  std::string row = std::to_string(loop);
  for (std::size_t i = 1; i < v.size(); ++i) {
    if (csv_integer_column(i)) {
      append(row, std::uint64_t(v[i]));
    } else if (i >= first_change && std::isnan(v[i])) {
      row += ',';
    } else {
      append(row, v[i]);
    }
  }
  row += '\n';
  return row;
}

std::string track_header() { return "loop,tag,films,area,target,pressure\n"; }

void append_track_rows(std::string& out, std::uint64_t loop, kordal::FoamMesh const& foam) {
  std::string const prefix = std::to_string(loop);
  char buffer[96];
  for (auto const& f : foam.faces()) {
    if (f.m_is_outer) continue;
    int const n = std::snprintf(buffer, sizeof buffer, ",%u,%u,%.17g,%.17g,%.17g\n", unsigned(f.m_tag),
                                kordal::film_count(f), kordal::compute_area(f), f.m_target_area, f.m_pressure);
    out += prefix;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace batch
}  // namespace Quarvel
