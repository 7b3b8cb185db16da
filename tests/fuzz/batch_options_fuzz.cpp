// froth-batch's command line from any bytes, split into arguments at zero
// bytes and line ends: a refusal with a message, or options within the ranges
// the parser promises.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch_options.h"

namespace {

bool in_range(double v, double lo, double hi) { return std::isfinite(v) && lo <= v && v <= hi; }

bool sane(Quarvel::batch::BatchOptions const& o) {
  using Quarvel::batch::FoamSource;
  Quarvel::kordal::SnapshotFormat format;
  bool const source = o.m_sites >= 0 && (o.m_source != FoamSource::preset || (o.m_preset >= 1 && o.m_preset <= 3)) &&
                      (o.m_source != FoamSource::site_file || !o.m_site_file.empty()) &&
                      (o.m_source != FoamSource::load || !o.m_load_file.empty()) &&
                      in_range(o.m_domain_width, 0.0, 1e9) && o.m_domain_width > 0.0 &&
                      in_range(o.m_domain_height, 0.0, 1e9) && o.m_domain_height > 0.0;
  double const big = 1e308;
  bool const simulation = in_range(o.m_simulation.m_film_tension, 0.0, big) && in_range(o.m_simulation.m_permeability, 0.0, big) &&
                          in_range(o.m_simulation.m_tau, 0.0, big) && o.m_simulation.m_tau > 0.0 && in_range(o.m_simulation.m_t1_threshold, 0.0, big) &&
                          in_range(o.m_simulation.m_t2_threshold, 0.0, big);
  bool const outputs = !o.m_csv.empty() && !o.m_save_prefix.empty() && !o.m_snapshot_prefix.empty() &&
                       (o.m_snapshot.empty() || Quarvel::kordal::snapshot_format_from_path(o.m_snapshot, format)) &&
                       o.m_snapshot_width >= 1 && o.m_snapshot_width <= 32767 && o.m_snapshot_height >= 1 &&
                       o.m_snapshot_height <= 32767;
  return source && simulation && outputs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    char const c = static_cast<char>(data[i]);
    if (c == '\0' || c == '\n') {
      args.emplace_back();
    } else {
      args.back() += c;
    }
  }
  // A final line end closes the last argument.
  if (args.back().empty()) args.pop_back();
  Quarvel::batch::BatchOptions options;
  std::string error;
  switch (Quarvel::batch::parse_options(args, options, error)) {
    case Quarvel::batch::ParseResult::error:
      if (error.empty()) std::abort();
      break;
    case Quarvel::batch::ParseResult::run:
      if (!sane(options)) std::abort();
      break;
    case Quarvel::batch::ParseResult::help:
      break;
  }
  return 0;
}
