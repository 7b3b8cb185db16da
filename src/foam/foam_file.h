#ifndef FROTH_FOAM_FOAM_FILE_H
#define FROTH_FOAM_FOAM_FILE_H

#include <fstream>
#include <iosfwd>
#include <string>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace kordal {

/// The foam file, version 1: text, one record per line, numbers with 17
/// significant digits so that saving, loading and saving again gives the same
/// bytes.
///
///     froth-foam 1
///     film_tension 0.25
///     outside_pressure 1
///     junctions J
///     x y                                        (J lines)
///     bubbles B
///     pressure target_area outer k j0 ... j(k-1) (B lines)
///     reversed_films R
///     a b                                        (R lines)
///     tags B                                     (optional)
///     tag                                        (B lines)
///     generator seed draws                       (optional)
///
/// A junction's index is its position among the junction lines, from 0.
/// `outer` is 0 or 1. A bubble lists its k junctions in loop order, starting
/// at the destination of its border half-edge, so that the loaded bubble
/// starts its loop at the same film. A film's first border (its orientation,
/// which the T1 event reads) runs the way of the first bubble that lists the
/// film, except for the reversed films: each line names a film by the
/// junctions a and b that its first border runs from and to. The reversed
/// films may be left out when reading (then R = 0). The tags, the bubbles'
/// identities, are written when they differ from 0, 1, ... in file order
/// (what a file without them gets) and no two bubbles share one. The
/// generator line records the program's random generator (its seed and the
/// draws taken), so that a run can go on from the file with the same draws;
/// reading only records it in the foam. Lines whose first
/// non-blank character is '#' and blank lines are ignored.

/// Writes the foam: junctions and bubbles in list order.
void write_foam(FoamMesh const& foam, std::ostream& out);

/// Reads a foam and, on success, replaces `foam` with it: junctions are added
/// in file order, then bubbles with the mesh's own add_face in file order, so
/// the loops, the junction and bubble orders, the border half-edges and the
/// film orientations are those of the foam that was written. On any fault returns false, leaves `foam` unchanged and
/// sets `error` to one line "name:line: what is wrong". Refused: a wrong
/// header or version, counts that do not match the lines, fields that are not
/// numbers, NaN or infinite values, a negative film tension, junction indices
/// out of range, a bubble of fewer than three junctions or with a junction
/// repeated, a second outer bubble, a bubble the mesh refuses, a reversed
/// film that does not exist or is not reversed, tags for another number of
/// bubbles or a tag given twice, a generator line without its two counts,
/// any line after the last section, an empty file, a line longer
/// than LineReader::max_length, more than 2^25 junctions or bubbles.
bool read_foam(std::istream& in, std::string const& name, FoamMesh& foam, std::string& error);

/// Writes the foam to `path` through a temporary file in the same directory
/// that is renamed over `path` only when complete, so a failed save leaves no
/// half-written file. Returns false with "path: what went wrong" in `error`.
/// A path that is not a regular file (/dev/null, a pipe) is written directly.
bool save_foam(FoamMesh const& foam, std::string const& path, std::string& error);

/// Opens `path` for reading; a directory or a file that cannot be opened
/// gives "path: cannot open (reason)" in `error`.
bool open_for_reading(std::string const& path, std::ifstream& in, std::string& error);

/// Opens `path` and reads it with read_foam; a file that cannot be opened
/// gives "path: cannot open (reason)".
bool load_foam(std::string const& path, FoamMesh& foam, std::string& error);

}  // namespace kordal
}  // namespace Quarvel

#endif
