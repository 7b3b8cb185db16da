#ifndef FROTH_TOOLS_SITE_FILE_H
#define FROTH_TOOLS_SITE_FILE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "math/basic_math_types.h"

namespace Quarvel {
namespace batch {

/// Reads sites, one "x y" per line (z = 0); blank lines and lines whose
/// first non-blank character is '#' are skipped. On success replaces `sites`
/// and returns true; a line without exactly two fields, a field that is not a
/// number, a NaN or infinite value, a line longer than LineReader::max_length
/// or more than 2^25 sites gives false, `sites` unchanged and one line
/// "name:line: what is wrong" in `error`. An empty file is no error: it gives
/// no sites.
bool read_sites(std::istream& in, std::string const& name, std::vector<math::BasicMathTypes::vector3_type>& sites,
                std::string& error);

/// Opens `path` and reads it with read_sites; a file that cannot be opened
/// gives "path: cannot open (reason)".
bool read_site_file(std::string const& path, std::vector<math::BasicMathTypes::vector3_type>& sites,
                    std::string& error);

/// Why a site set gives an empty foam: "fewer than three distinct sites",
/// "all sites lie on one line", or the empty string when the sites span the
/// plane.
std::string degenerate_sites_reason(std::vector<math::BasicMathTypes::vector3_type> const& sites);

}  // namespace batch
}  // namespace Quarvel

#endif
