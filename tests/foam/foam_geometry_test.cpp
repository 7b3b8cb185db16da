// Curved-film geometry: arcs, bubble areas and junction angles. (valency,
// is_boundary and film_count are checked with the mesh in poly_mesh_test.)

#include <cmath>

#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;
using namespace Quarvel::kordal;

constexpr double pi = 3.14159265358979323846;

TEST(FilmArc, StraightHalfCircleAndSign) {
  vector3_type const P(0, 0, 0), Q(2, 0, 0);
  auto const straight = film_arc(P, Q, 1.0, 1.0, 0.25);
  EXPECT_EQ(straight.m_segment_area, 0.0);
  EXPECT_EQ(straight.m_deviation, 0.0);

  // 2 gamma / |dp| = 0.005 is far below half the chord: a half circle of radius 1.
  auto const half = film_arc(P, Q, 101.0, 1.0, 0.25);
  EXPECT_NEAR(half.m_segment_area, pi / 2, 1e-12);
  EXPECT_NEAR(half.m_deviation, pi / 2, 1e-12);
  // Without tension every pressure difference gives the half circle.
  EXPECT_NEAR(film_arc(P, Q, 1.0001, 1.0, 0.0).m_segment_area, pi / 2, 1e-12);

  // The lower-pressure side sees the same arc with the opposite sign.
  auto const own = film_arc(P, Q, 1.5, 1.0, 0.25);
  auto const other = film_arc(P, Q, 1.0, 1.5, 0.25);
  EXPECT_GT(own.m_segment_area, 0.0);
  EXPECT_GT(own.m_deviation, 0.0);
  EXPECT_DOUBLE_EQ(own.m_segment_area, -other.m_segment_area);
  EXPECT_DOUBLE_EQ(own.m_deviation, -other.m_deviation);

  // R = 2 * 0.25 / 0.5 = 1 over a chord of 2 sin(pi/6) = 1: theta = pi / 3.
  auto const arc = film_arc(P, vector3_type(1, 0, 0), 1.5, 1.0, 0.25);
  EXPECT_NEAR(arc.m_deviation, pi / 6, 1e-12);
  EXPECT_NEAR(arc.m_segment_area, (pi / 3 - std::sin(pi / 3)) / 2, 1e-12);
}

/// Bubble A = (0,0) (0,1) (1,0) and bubble B = (1,0) (0,1) (1,1), both
/// clockwise, sharing the film (0,1)-(1,0).
///
///   (0,1) ---- (1,1)
///     | A   /  |
///     |   /  B |
///   (0,0) ---- (1,0)
struct TwoBubbles {
  FoamMesh m;
  std::vector<vertex_handle> v;
  face_handle a, b;
  TwoBubbles(double pa, double pb) {
    v = add_points(m, {{0, 0}, {0, 1}, {1, 0}, {1, 1}});
    a = m.add_face(std::vector<vertex_handle>{v[0], v[1], v[2]});
    b = m.add_face(std::vector<vertex_handle>{v[2], v[1], v[3]});
    m.m_film_tension = 0.25;
    m.get_face(a).m_pressure = pa;
    m.get_face(b).m_pressure = pb;
  }
};

TEST(ComputeArea, PolygonPlusSegmentsOfCurvedFilms) {
  TwoBubbles equal(1.0, 1.0);
  ASSERT_TRUE(MeshIsValid(equal.m));
  EXPECT_DOUBLE_EQ(compute_area(equal.m.get_face(equal.a)), 0.5);
  EXPECT_DOUBLE_EQ(compute_area(equal.m.get_face(equal.b)), 0.5);

  // dp = 0.5 gives R = 1 over the chord sqrt(2): theta = pi / 2.
  TwoBubbles curved(1.5, 1.0);
  double const segment = (pi / 2 - 1) / 2;
  EXPECT_NEAR(compute_area(curved.m.get_face(curved.a)), 0.5 + segment, 1e-12);
  EXPECT_NEAR(compute_area(curved.m.get_face(curved.b)), 0.5 - segment, 1e-12);
  // The total area is conserved by the curvature of shared films.
  EXPECT_NEAR(compute_area(curved.m.get_face(curved.a)) + compute_area(curved.m.get_face(curved.b)), 1.0, 1e-12);
}

TEST(ComputeArea, OrientationAndOuterBubble) {
  FoamMesh cw;
  auto v = add_points(cw, {{0, 0}, {0, 1}, {1, 1}, {1, 0}});
  face_handle const f = cw.add_face(v);
  EXPECT_DOUBLE_EQ(compute_area(cw.get_face(f)), 1.0);
  EXPECT_TRUE(find_outer_bubble(cw).is_null());
  cw.get_face(f).m_is_outer = true;
  EXPECT_EQ(compute_area(cw.get_face(f)), 0.0);
  EXPECT_EQ(find_outer_bubble(cw), f);

  FoamMesh ccw;
  auto w = add_points(ccw, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_DOUBLE_EQ(compute_area(ccw.get_face(ccw.add_face(w))), -1.0);
}

TEST(JunctionAngle, StraightAndCurvedAgainstAHandCalculation) {
  TwoBubbles equal(1.0, 1.0);
  auto const& m = equal.m;
  EXPECT_NEAR(junction_angle(m.get_face(equal.a), m.get_vertex(equal.v[0])), pi / 2, 1e-12);
  EXPECT_NEAR(junction_angle(m.get_face(equal.a), m.get_vertex(equal.v[1])), pi / 4, 1e-12);
  EXPECT_EQ(junction_angle(m.get_face(equal.a), m.get_vertex(equal.v[3])), -1.0);

  // A at higher pressure bulges into B: its angle at (0,1) grows by half the
  // central angle pi/2 of the shared film; B's shrinks by as much.
  TwoBubbles curved(1.5, 1.0);
  auto const& c = curved.m;
  EXPECT_NEAR(junction_angle(c.get_face(curved.a), c.get_vertex(curved.v[1])), pi / 4 + pi / 4, 1e-12);
  EXPECT_NEAR(junction_angle(c.get_face(curved.b), c.get_vertex(curved.v[1])), pi / 4 - pi / 4, 1e-12);
  // The film on the open boundary counts straight.
  EXPECT_NEAR(junction_angle(c.get_face(curved.a), c.get_vertex(curved.v[0])), pi / 2, 1e-12);
}

}  // namespace
