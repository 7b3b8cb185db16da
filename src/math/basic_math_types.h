#ifndef FROTH_MATH_BASIC_MATH_TYPES_H
#define FROTH_MATH_BASIC_MATH_TYPES_H

#include <cmath>
#include <cstdint>
#include <ostream>

namespace Quarvel {
namespace math {

/// A 3-vector of reals. The foam lies in z = 0, but cross products and the
/// camera need the third coordinate.
template <typename T>
struct Vector3 {
  T x{0};
  T y{0};
  T z{0};

  constexpr Vector3() = default;
  constexpr Vector3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}

  constexpr Vector3& operator+=(Vector3 const& o) {
    x += o.x; y += o.y; z += o.z;
    return *this;
  }
  constexpr Vector3& operator-=(Vector3 const& o) {
    x -= o.x; y -= o.y; z -= o.z;
    return *this;
  }
  constexpr Vector3& operator*=(T s) {
    x *= s; y *= s; z *= s;
    return *this;
  }
  constexpr Vector3& operator/=(T s) {
    x /= s; y /= s; z /= s;
    return *this;
  }
  constexpr T& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr T const& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

template <typename T>
constexpr Vector3<T> operator+(Vector3<T> a, Vector3<T> const& b) { return a += b; }
template <typename T>
constexpr Vector3<T> operator-(Vector3<T> a, Vector3<T> const& b) { return a -= b; }
template <typename T>
constexpr Vector3<T> operator-(Vector3<T> const& a) { return {-a.x, -a.y, -a.z}; }
template <typename T>
constexpr Vector3<T> operator*(Vector3<T> a, T s) { return a *= s; }
template <typename T>
constexpr Vector3<T> operator*(T s, Vector3<T> a) { return a *= s; }
template <typename T>
constexpr Vector3<T> operator/(Vector3<T> a, T s) { return a /= s; }
template <typename T>
constexpr bool operator==(Vector3<T> const& a, Vector3<T> const& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}
template <typename T>
constexpr bool operator!=(Vector3<T> const& a, Vector3<T> const& b) { return !(a == b); }

template <typename T>
constexpr T dot(Vector3<T> const& a, Vector3<T> const& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

template <typename T>
constexpr Vector3<T> cross(Vector3<T> const& a, Vector3<T> const& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <typename T>
T length(Vector3<T> const& a) { return std::sqrt(dot(a, a)); }

template <typename T>
constexpr T sqr_length(Vector3<T> const& a) { return dot(a, a); }

/// Unit vector in the direction of a; the zero vector stays zero.
template <typename T>
Vector3<T> unit(Vector3<T> const& a) {
  T const l = length(a);
  return l > T(0) ? a / l : Vector3<T>{};
}

template <typename T>
std::ostream& operator<<(std::ostream& out, Vector3<T> const& a) {
  return out << '(' << a.x << ", " << a.y << ", " << a.z << ')';
}

/// The type bundle that parameterises every template of the system.
struct BasicMathTypes {
  using real_type = double;
  using index_type = std::uint32_t;
  using vector3_type = Vector3<real_type>;
};

}  // namespace math
}  // namespace Quarvel

#endif
