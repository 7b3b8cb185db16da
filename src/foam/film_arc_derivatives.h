#ifndef FROTH_FOAM_FILM_ARC_DERIVATIVES_H
#define FROTH_FOAM_FILM_ARC_DERIVATIVES_H

#include <algorithm>
#include <cmath>

namespace Quarvel {
namespace kordal {

/// How a film's segment area and end deviation (as film_arc gives them, seen
/// from the bubble whose pressure is p_own) change with its chord length L
/// and with dp = p_own - p_other.
struct FilmArcDerivatives {
  double m_area_by_length = 0.0;
  double m_area_by_dp = 0.0;
  double m_deviation_by_length = 0.0;
  double m_deviation_by_dp = 0.0;
  bool m_half_circle = false;  ///< film_arc clamps the radius at L / 2: nothing answers to dp
};

/// (x - sin x) / sin^3(x / 2) for x = 2 phi in [0, pi]: 4/3 at 0, pi at pi.
/// A series below 0.5, where x - sin x would lose its digits.
inline double segment_shape(double phi) {
  double const x = 2.0 * phi;
  double const s = std::sin(phi);
  if (x >= 0.5) return (x - std::sin(x)) / (s * s * s);
  double const x2 = x * x;
  // x - sin x = x^3/3! - x^5/5! + ... : Horner in x^2 up to x^15.
  double g = 1.0 / 1307674368000.0;
  g = 1.0 / 6227020800.0 - x2 * g;
  g = 1.0 / 39916800.0 - x2 * g;
  g = 1.0 / 362880.0 - x2 * g;
  g = 1.0 / 5040.0 - x2 * g;
  g = 1.0 / 120.0 - x2 * g;
  g = 1.0 / 6.0 - x2 * g;
  // sin^3 phi = phi^3 (sin phi / phi)^3 and x^3 = 8 phi^3.
  double const ratio = phi > 0.0 ? s / phi : 1.0;
  return 8.0 * g / (ratio * ratio * ratio);
}

/// The derivatives of film_arc(P, Q, p_own, p_other, gamma) for a film of
/// length L and dp = p_own - p_other, gamma > 0. With a radius of
/// 2 gamma / |dp| the film is an arc of half-angle phi, sin phi =
/// |dp| L / (4 gamma): the segment area dp L^3 h(phi) / (32 gamma) and the
/// deviation sign(dp) phi. Where film_arc clamps the radius at L / 2 (the
/// same test, on the same values) the film is a half circle whose area
/// grows with L only, and the deviation is constant. At dp = 0 the
/// derivatives are the limits (film_arc's straight film is smooth there).
inline FilmArcDerivatives film_arc_derivatives(double L, double dp, double gamma) {
  FilmArcDerivatives d;
  double const a = std::abs(dp);
  double ratio = 0.0;
  if (a > 0.0) {
    double const R = std::max(2.0 * gamma / a, L / 2.0);
    ratio = R > 0.0 ? std::min(1.0, (L / 2.0) / R) : 0.0;
    if (!(ratio < 1.0)) {
      d.m_half_circle = true;
      d.m_area_by_length = (dp > 0.0 ? 1.0 : -1.0) * M_PI * L / 4.0;
      return d;
    }
  }
  double const c = std::sqrt((1.0 - ratio) * (1.0 + ratio));  // cos phi
  double const phi = std::asin(ratio);
  d.m_area_by_length = dp * L * L / (8.0 * gamma * c);
  d.m_area_by_dp = L * L * L / (16.0 * gamma) * (2.0 / c - segment_shape(phi));
  d.m_deviation_by_length = dp / (4.0 * gamma * c);
  d.m_deviation_by_dp = L / (4.0 * gamma * c);
  return d;
}

}  // namespace kordal
}  // namespace Quarvel

#endif
