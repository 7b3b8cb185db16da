// Any bytes read as a foam file give a one-line refusal or a valid foam with
// finite numbers that saves and loads back to the same bytes.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "foam/foam_file.h"

namespace {

using Quarvel::kordal::FoamMesh;

[[noreturn]] void fault(std::string const& what) {
  std::cerr << "foam_file_fuzz: " << what << "\n";
  std::abort();
}

bool refused_clearly(std::string const& error) {
  return error.compare(0, 10, "fuzz.foam:") == 0 && error.size() > 10 && error.find('\n') == std::string::npos;
}

std::string saved(FoamMesh const& foam) {
  std::ostringstream out;
  Quarvel::kordal::write_foam(foam, out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<char const*>(data), size));
  FoamMesh foam;
  std::string error;
  if (!Quarvel::kordal::read_foam(in, "fuzz.foam", foam, error)) {
    if (!refused_clearly(error)) fault("unclear refusal '" + error + "'");
    return 0;
  }
  bool finite = std::isfinite(foam.m_film_tension) && std::isfinite(foam.m_outside_pressure);
  for (auto const& v : foam.vertices()) finite = finite && std::isfinite(v.m_coord.x) && std::isfinite(v.m_coord.y);
  for (auto const& f : foam.faces()) finite = finite && std::isfinite(f.m_pressure) && std::isfinite(f.m_target_area);
  if (!finite) fault("a number that is not finite");
  std::ostringstream report;
  if (!foam.is_valid(&report)) fault("invalid foam: " + report.str());

  std::string const text = saved(foam);
  std::istringstream again(text);
  FoamMesh reloaded;
  if (!Quarvel::kordal::read_foam(again, "fuzz.foam", reloaded, error)) fault("saved foam refused: " + error);
  if (saved(reloaded) != text) fault("saved, loaded and saved again, the foam changed");
  return 0;
}
