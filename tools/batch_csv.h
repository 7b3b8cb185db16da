#ifndef FROTH_TOOLS_BATCH_CSV_H
#define FROTH_TOOLS_BATCH_CSV_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "area_change.h"
#include "foam/foam_mesh.h"
#include "foam/foam_statistics.h"

namespace Quarvel {
namespace batch {

/// The CSV's columns, in order: loop (the simulated time), wall_seconds
/// (wall-clock seconds spent in the loops since the run started), bubbles and
/// junctions as the statistics count them, t1 and t2 (events of the loop),
/// t1_total and t2_total, mean_edges, second_moment, mean_area, area_error,
/// mean_angle, angle_error, p3 to p12 (the fraction of bubbles with n films),
/// and da3 to da12 (the mean area change over the loop of the bubbles with n
/// films; empty where no bubble counts, and in the row of the foam as built).
std::vector<std::string> const& csv_columns();

/// The header line, with its newline.
std::string csv_header();

/// Whether the column holds whole numbers: loop, and bubbles to t2_total.
constexpr bool csv_integer_column(std::size_t column) { return column == 0 || (column >= 2 && column < 8); }

/// One row's values in column order: the loop, its time and events, the
/// statistics as last updated and the loop's area changes (none for the foam
/// as built); NaN where the CSV leaves a field empty.
std::vector<double> csv_values(std::uint64_t loop, double seconds, std::uint32_t t1, std::uint32_t t2,
                               kordal::FoamStatistics<kordal::FoamMesh> const& statistics, AreaChanges const* changes);

/// One row of csv_values, with its newline. Reals carry 10 significant digits.
std::string csv_row(std::uint64_t loop, double seconds, std::uint32_t t1, std::uint32_t t2,
                    kordal::FoamStatistics<kordal::FoamMesh> const& statistics, AreaChanges const* changes);

/// The header of --track, with its newline: loop, tag, films, area (curved),
/// target, pressure.
std::string track_header();

/// Appends one --track row per bubble of the foam, the outer bubble left
/// out, in list order. Reals carry 17 significant digits.
void append_track_rows(std::string& out, std::uint64_t loop, kordal::FoamMesh const& foam);

}  // namespace batch
}  // namespace Quarvel

#endif
