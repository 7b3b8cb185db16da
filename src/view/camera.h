#ifndef FROTH_VIEW_CAMERA_H
#define FROTH_VIEW_CAMERA_H

#include "math/basic_math_types.h"

namespace Quarvel {
namespace glut {

/// A look-at camera: eye, target and up vector, with the view matrix ready for
/// glLoadMatrixf. Pan and zoom move the eye, and the target too unless the
/// target is locked. Holds no GL state, so it works without a window.
template <typename Types>
class Camera {
 public:
  using real_type = typename Types::real_type;
  using vector3_type = typename Types::vector3_type;

  vector3_type m_position;   ///< eye
  vector3_type m_target;     ///< point looked at
  vector3_type m_up;         ///< up vector, re-orthogonalised by every look_at
  vector3_type m_direction;  ///< unit vector from eye to target
  vector3_type m_right;      ///< unit right vector
  float m_view[16];          ///< view matrix, column-major
  bool m_orbit;              ///< orbit flag, flipped by the 'o' key
  bool m_target_locked;      ///< pan and zoom move only the eye when set

  /// Looks at the origin from (0, 0, 40) with +y up; orbit on, target free.
  Camera() : m_view{}, m_orbit(true), m_target_locked(false) {
    look_at(vector3_type(0, 0, 40), vector3_type(0, 0, 0), vector3_type(0, 1, 0));
  }

  /// Places the camera and rebuilds the frame and the view matrix. A zero
  /// direction (eye on the target) or an up vector along the direction gives
  /// zero vectors rather than NaN.
  void look_at(vector3_type const& position, vector3_type const& target, vector3_type const& up) {
    m_position = position;
    m_target = target;
    m_direction = math::unit(target - position);
    m_right = math::unit(math::cross(m_direction, up));
    m_up = math::cross(m_right, m_direction);
    for (int c = 0; c < 3; ++c) {
      m_view[4 * c + 0] = static_cast<float>(m_right[c]);
      m_view[4 * c + 1] = static_cast<float>(m_up[c]);
      m_view[4 * c + 2] = static_cast<float>(-m_direction[c]);
      m_view[4 * c + 3] = 0.0f;
    }
    m_view[12] = static_cast<float>(-math::dot(m_right, m_position));
    m_view[13] = static_cast<float>(-math::dot(m_up, m_position));
    m_view[14] = static_cast<float>(math::dot(m_direction, m_position));
    m_view[15] = 1.0f;
  }

  /// Moves along the view direction by d (positive d moves towards the target).
  void zoom(real_type d) {
    vector3_type const v = d * m_direction;
    move(v);
  }

  /// Moves by dx along the right vector and dy along unit(right x direction).
  void pan(real_type dx, real_type dy) {
    vector3_type const v = dx * m_right + dy * math::unit(math::cross(m_right, m_direction));
    move(v);
  }

 private:
  void move(vector3_type const& v) {
    vector3_type const position = m_position + v;
    vector3_type const target = m_target_locked ? m_target : m_target + v;
    look_at(position, target, m_up);
  }
};

}  // namespace glut
}  // namespace Quarvel

#endif
