#include "view/camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Quarvel::math::BasicMathTypes;
using camera_type = Quarvel::glut::Camera<BasicMathTypes>;
using vector3_type = BasicMathTypes::vector3_type;

void expect_near(vector3_type const& a, vector3_type const& b, double eps = 1e-12) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

/// The view matrix applied to a point (column-major, w = 1).
vector3_type transform(float const* m, vector3_type const& p) {
  return vector3_type(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                      m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

camera_type looking_down_from(double z, bool locked) {
  camera_type camera;
  camera.look_at(vector3_type(0, 0, z), vector3_type(0, 0, 0), vector3_type(0, 1, 0));
  camera.m_target_locked = locked;
  return camera;
}

// The view maps the eye to the origin and the target down -z, with an
// orthonormal right-handed frame (the unit axes are the images of right and
// up); the eye on the target gives zero vectors, not NaN.
TEST(Camera, ViewMatrixMapsEyeToOriginAndTargetDownMinusZAndZoomAndPanMoveTheEye) {
  camera_type camera;
  vector3_type const eye(3, -4, 12), target(1, 2, -1);
  camera.look_at(eye, target, vector3_type(0, 1, 0));
  expect_near(transform(camera.m_view, eye), vector3_type(0, 0, 0), 1e-5);
  expect_near(transform(camera.m_view, target), vector3_type(0, 0, -length(target - eye)), 1e-5);
  expect_near(transform(camera.m_view, eye + camera.m_up), vector3_type(0, 1, 0), 1e-5);
  expect_near(transform(camera.m_view, eye + camera.m_right), vector3_type(1, 0, 0), 1e-5);
  expect_near(cross(camera.m_right, camera.m_up), -camera.m_direction);
  camera.look_at(vector3_type(1, 1, 1), vector3_type(1, 1, 1), vector3_type(0, 1, 0));
  expect_near(camera.m_direction, vector3_type(0, 0, 0));
  expect_near(camera.m_right, vector3_type(0, 0, 0));
  for (float v : camera.m_view) EXPECT_TRUE(std::isfinite(v));

  // Zoom moves the eye and a free target along the direction; a locked target
  // stays, and past it the view direction flips. Pan moves along right = (1,
  // 0, 0) and screen up (0, 1, 0); with the target locked the eye moves off
  // its axis and looks slightly sideways.
  camera_type free = looking_down_from(100, false);
  free.zoom(2.5);
  expect_near(free.m_position, vector3_type(0, 0, 97.5));
  expect_near(free.m_target, vector3_type(0, 0, -2.5));
  free.pan(3.0, -2.0);
  expect_near(free.m_position, vector3_type(3, -2, 97.5));
  expect_near(free.m_target, vector3_type(3, -2, -2.5));
  expect_near(free.m_direction, vector3_type(0, 0, -1));
  free.m_target_locked = true;
  free.pan(1.0, 0.0);
  expect_near(free.m_position, vector3_type(4, -2, 97.5));
  expect_near(free.m_direction, unit(vector3_type(-1, 0, -100)));
  camera_type locked = looking_down_from(10, true);
  locked.zoom(4.0);
  expect_near(locked.m_position, vector3_type(0, 0, 6));
  expect_near(locked.m_target, vector3_type(0, 0, 0));
  locked.zoom(10.0);
  expect_near(locked.m_position, vector3_type(0, 0, -4));
  expect_near(locked.m_direction, vector3_type(0, 0, 1));
}

}  // namespace
