// Any bytes read as a site file give a one-line refusal or finite sites.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "site_file.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<char const*>(data), size));
  std::vector<Quarvel::math::BasicMathTypes::vector3_type> sites;
  std::string error;
  if (!Quarvel::batch::read_sites(in, "fuzz.txt", sites, error)) {
    if (error.compare(0, 9, "fuzz.txt:") != 0 || error.size() == 9 || error.find('\n') != std::string::npos) {
      std::abort();
    }
    return 0;
  }
  for (auto const& s : sites) {
    if (!std::isfinite(s.x) || !std::isfinite(s.y) || s.z != 0.0) std::abort();
  }
  return 0;
}
