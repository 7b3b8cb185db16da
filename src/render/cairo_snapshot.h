#ifndef FROTH_RENDER_CAIRO_SNAPSHOT_H
#define FROTH_RENDER_CAIRO_SNAPSHOT_H

#include <iosfwd>
#include <string>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace kordal {

/// The picture formats a snapshot can be written in.
enum class SnapshotFormat { svg, pdf, png };

/// The format named by a path's extension (".svg", ".pdf" or ".png", in any
/// case); false when the extension names none of them.
bool snapshot_format_from_path(std::string const& path, SnapshotFormat& format);

/// A rectangle of the foam's plane; empty when x1 <= x0 or y1 <= y0.
struct SnapshotView {
  double m_x0 = 0.0;
  double m_y0 = 0.0;
  double m_x1 = 0.0;
  double m_y1 = 0.0;
  bool empty() const { return !(m_x1 > m_x0) || !(m_y1 > m_y0); }
};

/// The bounding box of the junctions and of the films' arcs, widened by `margin` times its larger side on
/// every side; for a foam without junctions, the window's default region
/// (96 x 54 units around the origin).
SnapshotView fit_view(FoamMesh const& foam, double margin = 0.03);

/// How a snapshot is drawn.
struct SnapshotStyle {
  int m_width = 960;               ///< picture width (pixels for PNG, points for SVG and PDF)
  int m_height = 540;              ///< picture height
  SnapshotView m_view;             ///< region shown, fitted with its aspect kept; empty: fit_view(foam)
  bool m_filled = true;            ///< fill the bubbles in blue by pressure
  double m_fill_intensity = 0.75;  ///< lower end of the pressure range, as a factor of the smallest pressure
  double m_line_width = 1.0;       ///< film width in pixels or points
};

/// Draws the foam as the window does, onto a white page: every film a black
/// circular arc of radius max(2 gamma / |dp|, half its chord) bulging into the
/// side of lower pressure (straight when the pressures are equal or 2 gamma /
/// |dp| is below 2^-12; a border without a bubble has the foam's outside
/// pressure), and, when filled, every bubble but the outer one bounded by its
/// arcs and filled with (0.05, 0.3, 1.0) scaled by its normalised pressure
/// t = (p - min) / (max - min), min being m_fill_intensity times the smallest
/// pressure. Bubble loops run clockwise, so a border's bubble lies on its
/// right. Writes the picture in `format` to `out`; returns false with a
/// reason in `error` when cairo or the stream fails, or the size is not
/// positive.
bool write_snapshot(FoamMesh const& foam, SnapshotFormat format, SnapshotStyle const& style, std::ostream& out,
                    std::string& error);

}  // namespace kordal
}  // namespace Quarvel

#endif
