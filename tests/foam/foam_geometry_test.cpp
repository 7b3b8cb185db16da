// Curved-film geometry: arcs, bubble areas and junction angles. (valency,
// is_boundary and film_count are checked with the mesh in poly_mesh_test.)

#include <cmath>

#include "polymesh/mesh_builders.h"

namespace {

using namespace froth_test;
using namespace Quarvel::kordal;

constexpr double pi = 3.14159265358979323846;

// 2 gamma / |dp| far below half the chord, or no tension, gives the half
// circle; the lower-pressure side sees the same arc with the opposite sign
// (the higher one's is positive: the last arc's values).
TEST(FilmArc, StraightHalfCircleAndSign) {
  vector3_type const P(0, 0, 0), Q(2, 0, 0);
  auto const straight = film_arc(P, Q, 1.0, 1.0, 0.25);
  EXPECT_EQ(std::make_pair(straight.m_segment_area, straight.m_deviation), std::make_pair(0.0, 0.0));
  auto const half = film_arc(P, Q, 101.0, 1.0, 0.25);
  EXPECT_NEAR(half.m_segment_area, pi / 2, 1e-12);
  EXPECT_NEAR(half.m_deviation, pi / 2, 1e-12);
  EXPECT_NEAR(film_arc(P, Q, 1.0001, 1.0, 0.0).m_segment_area, pi / 2, 1e-12);
  auto const own = film_arc(P, Q, 1.5, 1.0, 0.25), other = film_arc(P, Q, 1.0, 1.5, 0.25);
  EXPECT_DOUBLE_EQ(own.m_segment_area, -other.m_segment_area);
  EXPECT_DOUBLE_EQ(own.m_deviation, -other.m_deviation);
  // R = 2 * 0.25 / 0.5 = 1 over a chord of 2 sin(pi/6) = 1: theta = pi / 3.
  auto const arc = film_arc(P, vector3_type(1, 0, 0), 1.5, 1.0, 0.25);
  EXPECT_NEAR(arc.m_deviation, pi / 6, 1e-12);
  EXPECT_NEAR(arc.m_segment_area, (pi / 3 - std::sin(pi / 3)) / 2, 1e-12);
}

/// Bubble A = (0,0) (0,1) (1,0) and bubble B = (1,0) (0,1) (1,1), both
/// clockwise, sharing the film (0,1)-(1,0).
struct TwoBubbles {
  FoamMesh m;
  std::vector<vertex_handle> v;
  face_handle a, b;
  TwoBubbles(double pa, double pb) : v(add_points(m, {{0, 0}, {0, 1}, {1, 0}, {1, 1}})) {
    a = m.add_face(std::vector<vertex_handle>{v[0], v[1], v[2]});
    b = m.add_face(std::vector<vertex_handle>{v[2], v[1], v[3]});
    m.m_film_tension = 0.25;
    m.get_face(a).m_pressure = pa;
    m.get_face(b).m_pressure = pb;
  }
  double area(face_handle f) const { return compute_area(m.get_face(f)); }
  double angle(face_handle f, int corner) const { return junction_angle(m.get_face(f), m.get_vertex(v[corner])); }
};

// dp = 0.5 gives R = 1 over the chord sqrt(2): theta = pi / 2; the shared
// film's segment moves from one bubble to the other, and A, bulging into B,
// gains half that central angle at (0,1) where B loses as much. A film on the
// open boundary counts straight, and a corner not in the bubble gives -1. A
// counter-clockwise loop has a negative area, the outer bubble none.
TEST(ComputeAreaAndJunctionAngle, PolygonPlusSegmentsOfCurvedFilmsAgainstAHandCalculation) {
  TwoBubbles const equal(1.0, 1.0), curved(1.5, 1.0);
  EXPECT_DOUBLE_EQ(equal.area(equal.a), 0.5);
  EXPECT_DOUBLE_EQ(equal.area(equal.b), 0.5);
  double const segment = (pi / 2 - 1) / 2;
  EXPECT_NEAR(curved.area(curved.a), 0.5 + segment, 1e-12);
  EXPECT_NEAR(curved.area(curved.b), 0.5 - segment, 1e-12);
  EXPECT_NEAR(equal.angle(equal.a, 0), pi / 2, 1e-12);
  EXPECT_NEAR(equal.angle(equal.a, 1), pi / 4, 1e-12);
  EXPECT_EQ(equal.angle(equal.a, 3), -1.0);
  EXPECT_NEAR(curved.angle(curved.a, 1), pi / 2, 1e-12);
  EXPECT_NEAR(curved.angle(curved.b, 1), 0.0, 1e-12);
  EXPECT_NEAR(curved.angle(curved.a, 0), pi / 2, 1e-12);
  // Chords nearly in line, as at the outer bubble's corners, keep their
  // digits: from (-1,0) clockwise to (cos e, sin e) is pi + e.
  for (double const e : {3e-7, 1.04e-6, 2e-5}) {
    vector3_type const r(0, 0, 0), g(-1, 0, 0), t(std::cos(e), std::sin(e), 0);
    EXPECT_NEAR(chord_opening(r, g, t), pi + e, 1e-14) << e;
  }

  FoamMesh m;
  auto v = add_points(m, {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {2, 1}});
  face_handle const cw = m.add_face(std::vector<vertex_handle>(v.begin(), v.begin() + 4));
  face_handle const ccw = m.add_face(std::vector<vertex_handle>(v.begin() + 4, v.end()));
  EXPECT_DOUBLE_EQ(compute_area(m.get_face(cw)), 1.0);
  EXPECT_DOUBLE_EQ(compute_area(m.get_face(ccw)), -1.0);
  EXPECT_TRUE(find_outer_bubble(m).is_null());
  m.get_face(cw).m_is_outer = true;
  EXPECT_EQ(compute_area(m.get_face(cw)), 0.0);
  EXPECT_EQ(find_outer_bubble(m), cw);
}

}  // namespace
