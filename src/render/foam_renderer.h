#ifndef FROTH_RENDER_FOAM_RENDERER_H
#define FROTH_RENDER_FOAM_RENDERER_H

#include <array>

#include "foam/foam_mesh.h"
#include "foam/foam_statistics.h"
#include "render/text_panel.h"

namespace Quarvel {
namespace render {

using kordal::FoamMesh;
using vector3_type = FoamMesh::vector3_type;
using foam_statistics_type = kordal::FoamStatistics<FoamMesh>;

/// Films whose radius is below this are drawn straight.
constexpr double straight_film_radius = 1.0 / 4096.0;
/// Segments of a drawn arc.
constexpr int arc_segments = 16;

/// How draw_film draws: the film's line, or the circular segment between its
/// chord and its arc.
enum class FilmMode { lines, fill };

/// The pressure range over which bubble colours are normalised.
struct PressureRange {
  double m_min;
  double m_max;
};

/// With filled bubbles, the largest and smallest pressure of the bubbles that
/// are not the outer bubble; without, max 0 and min the largest double. min is
/// scaled by fill_intensity in both cases.
PressureRange pressure_range(FoamMesh const& foam, bool filled, double fill_intensity);

/// (p - min) / (max - min). An empty range (max = min) gives 1: every bubble
/// has the lowest pressure and shows the full base colour.
double normalised_pressure(PressureRange const& range, double pressure);

/// How one film is drawn: its radius (0 for a straight film), its end points
/// ordered so that the arc bulges away from the higher-pressure side, and the
/// pressure that colours its segment fill.
struct FilmShape {
  double m_radius;
  vector3_type m_a;
  vector3_type m_b;
  double m_fill_pressure;  ///< of the higher-pressure side
};

/// The shape of one film, seen from its first border h (side h minus side
/// twin(h)). A side without a bubble takes the foam's m_outside_pressure.
FilmShape film_shape(FoamMesh const& foam, FoamMesh::edge_type const& film);

/// The arc drawn for a film of radius R from a to b: points[0] = b, then 16
/// steps counter-clockwise about the centre, ending on a. The arc bulges to the
/// left of the directed chord a -> b; a radius below half the chord is raised
/// to it (a half circle).
struct FilmArcPoints {
  vector3_type m_midpoint;  ///< the chord's midpoint
  std::array<vector3_type, arc_segments + 1> m_points;
};
FilmArcPoints film_arc_points(double R, vector3_type const& a, vector3_type const& b);

/// Draws one film in the current colour at z = 0: a straight chord if R is
/// below straight_film_radius; otherwise, in lines mode, the arc as 16
/// segments, and in fill mode the chord and the 16-triangle fan from the
/// chord's midpoint that covers the segment.
void draw_film(double R, vector3_type const& a, vector3_type const& b, FilmMode mode);

/// Every film as a black line and, when filled, its segment in the colour of
/// its higher-pressure side.
void draw_films(FoamMesh const& foam, bool filled, PressureRange const& range);

/// Every bubble but the outer one as a polygon in blue scaled by its
/// normalised pressure.
void draw_bubbles(FoamMesh const& foam, PressureRange const& range);

/// A small sphere marking a selected junction or bubble, in the current colour.
void draw_marker(vector3_type const& at);

/// Mean of a bubble's junction positions in border order.
vector3_type bubble_centroid(FoamMesh const& foam, FoamMesh::face_handle bubble);

/// The statistics panel's lines (heading, values, distribution bars).
void add_statistics_lines(TextPanel& panel, foam_statistics_type const& statistics);

/// One distribution line: n in two digits, a ten-column bar with a star per
/// 0.05 of probability, and p.
void add_distribution_line(TextPanel& panel, int n, double p);

/// True when the counts break Euler's relation of a closed trivalent foam:
/// cells not 0 and vertices not 2 x cells - 2.
bool topology_broken(foam_statistics_type const& statistics);

/// The three warning lines.
void add_topology_warning_lines(TextPanel& panel);

/// Colour and lines of the junction panel: mean area and angle equilibrium of
/// the (up to three) bubbles around the junction, the outer bubble left out.
/// Zero target areas or no measured bubble give what the arithmetic gives
/// (inf or nan), never a fault.
void add_junction_info(TextPanel& panel, FoamMesh const& foam, FoamMesh::vertex_handle junction);

/// Colour and lines of the bubble panel.
void add_bubble_info(TextPanel& panel, FoamMesh const& foam, FoamMesh::face_handle bubble);

}  // namespace render
}  // namespace Quarvel

#endif
