#ifndef FROTH_MATH_SVD_H
#define FROTH_MATH_SVD_H

#include <algorithm>
#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>

namespace Quarvel {
namespace math {

namespace svd_detail {

/// Work storage of one decomposition. Heap-backed uBLAS types in general; a
/// fixed-size c_matrix or bounded_matrix argument gets fixed-size storage of
/// the same bounds, so small systems are solved without any allocation.
template <typename MatrixA>
struct Workspace {
  using matrix_type = boost::numeric::ublas::matrix<double>;
  using u_matrix_type = matrix_type;
  using v_matrix_type = matrix_type;
  using vector_type = boost::numeric::ublas::vector<double>;
  using s_vector_type = vector_type;
  using e_vector_type = vector_type;
  using work_vector_type = vector_type;
};

template <std::size_t M, std::size_t N>
struct FixedWorkspace {
  static constexpr std::size_t nu = M < N ? M : N;
  static constexpr std::size_t np = (M + 1) < N ? (M + 1) : N;
  using matrix_type = boost::numeric::ublas::c_matrix<double, M, N>;
  using u_matrix_type = boost::numeric::ublas::c_matrix<double, M, nu>;
  using v_matrix_type = boost::numeric::ublas::c_matrix<double, N, N>;
  using s_vector_type = boost::numeric::ublas::c_vector<double, np>;
  using e_vector_type = boost::numeric::ublas::c_vector<double, N>;
  using work_vector_type = boost::numeric::ublas::c_vector<double, M>;
};

template <typename T, std::size_t M, std::size_t N>
struct Workspace<boost::numeric::ublas::c_matrix<T, M, N>> : FixedWorkspace<M, N> {};

template <typename T, std::size_t M, std::size_t N, typename L>
struct Workspace<boost::numeric::ublas::bounded_matrix<T, M, N, L>> : FixedWorkspace<M, N> {};

/// Overflow-safe sqrt(a^2 + b^2).
inline double hypot(double a, double b) {
  if (std::abs(a) > std::abs(b)) {
    double const r = b / a;
    return std::abs(a) * std::sqrt(1.0 + r * r);
  }
  if (b != 0.0) {
    double const r = a / b;
    return std::abs(b) * std::sqrt(1.0 + r * r);
  }
  return 0.0;
}

/// Golub-Kahan-Reinsch decomposition of the dense m x n matrix in W (which it
/// overwrites) into U (m x nu), s (min(m + 1, n)) and V (n x n), nu = min(m, n).
/// U, s and V must already have their sizes; e and work are scratch of sizes n
/// and m. A non-finite entry of W gives NaN in every entry of U, s and V.
template <typename WMatrix, typename UMatrix, typename SVector, typename VMatrix, typename EVector, typename WorkVector>
void decompose_dense(WMatrix& W, UMatrix& U, SVector& s, VMatrix& V, EVector& e, WorkVector& work) {
  int const m = static_cast<int>(W.size1());
  int const n = static_cast<int>(W.size2());
  int const nu = std::min(m, n);
  int const ns = std::min(m + 1, n);

  // NaN or infinity has no decomposition, and the iteration below would never
  // see the superdiagonal become negligible: answer NaN throughout.
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      if (!std::isfinite(W(i, j))) {
        double const nan = std::numeric_limits<double>::quiet_NaN();
        for (int a = 0; a < m; ++a)
          for (int b = 0; b < nu; ++b) U(a, b) = nan;
        for (int a = 0; a < ns; ++a) s(a) = nan;
        for (int a = 0; a < n; ++a)
          for (int b = 0; b < n; ++b) V(a, b) = nan;
        return;
      }
    }
  }

  for (int i = 0; i < m; ++i)
    for (int j = 0; j < nu; ++j) U(i, j) = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) V(i, j) = 0.0;
  for (int i = 0; i < ns; ++i) s(i) = 0.0;
  for (int i = 0; i < n; ++i) e(i) = 0.0;
  for (int i = 0; i < m; ++i) work(i) = 0.0;

  // Householder reduction to bidiagonal form: s holds the diagonal, e the
  // superdiagonal.
  int const nct = std::min(m - 1, n);
  int const nrt = std::max(0, std::min(n - 2, m));
  for (int k = 0; k < std::max(nct, nrt); ++k) {
    if (k < nct) {
      s(k) = 0.0;
      for (int i = k; i < m; ++i) s(k) = hypot(s(k), W(i, k));
      if (s(k) != 0.0) {
        if (W(k, k) < 0.0) s(k) = -s(k);
        for (int i = k; i < m; ++i) W(i, k) /= s(k);
        W(k, k) += 1.0;
      }
      s(k) = -s(k);
    }
    for (int j = k + 1; j < n; ++j) {
      if (k < nct && s(k) != 0.0) {
        double t = 0.0;
        for (int i = k; i < m; ++i) t += W(i, k) * W(i, j);
        t = -t / W(k, k);
        for (int i = k; i < m; ++i) W(i, j) += t * W(i, k);
      }
      e(j) = W(k, j);
    }
    if (k < nct) {
      for (int i = k; i < m; ++i) U(i, k) = W(i, k);
    }
    if (k < nrt) {
      e(k) = 0.0;
      for (int i = k + 1; i < n; ++i) e(k) = hypot(e(k), e(i));
      if (e(k) != 0.0) {
        if (e(k + 1) < 0.0) e(k) = -e(k);
        for (int i = k + 1; i < n; ++i) e(i) /= e(k);
        e(k + 1) += 1.0;
      }
      e(k) = -e(k);
      if (k + 1 < m && e(k) != 0.0) {
        for (int i = k + 1; i < m; ++i) work(i) = 0.0;
        for (int j = k + 1; j < n; ++j)
          for (int i = k + 1; i < m; ++i) work(i) += e(j) * W(i, j);
        for (int j = k + 1; j < n; ++j) {
          double const t = -e(j) / e(k + 1);
          for (int i = k + 1; i < m; ++i) W(i, j) += t * work(i);
        }
      }
      for (int i = k + 1; i < n; ++i) V(i, k) = e(i);
    }
  }

  // The bidiagonal matrix of order p.
  int p = std::min(n, m + 1);
  if (nct < n) s(nct) = W(nct, nct);
  if (m < p) s(p - 1) = 0.0;
  if (nrt + 1 < p) e(nrt) = W(nrt, p - 1);
  e(p - 1) = 0.0;

  // U from the column transformations.
  for (int j = nct; j < nu; ++j) {
    for (int i = 0; i < m; ++i) U(i, j) = 0.0;
    U(j, j) = 1.0;
  }
  for (int k = nct - 1; k >= 0; --k) {
    if (s(k) != 0.0) {
      for (int j = k + 1; j < nu; ++j) {
        double t = 0.0;
        for (int i = k; i < m; ++i) t += U(i, k) * U(i, j);
        t = -t / U(k, k);
        for (int i = k; i < m; ++i) U(i, j) += t * U(i, k);
      }
      for (int i = k; i < m; ++i) U(i, k) = -U(i, k);
      U(k, k) = 1.0 + U(k, k);
      for (int i = 0; i < k; ++i) U(i, k) = 0.0;
    } else {
      for (int i = 0; i < m; ++i) U(i, k) = 0.0;
      U(k, k) = 1.0;
    }
  }

  // V from the row transformations. Every column right of k takes the
  // reflection, also when n > m.
  for (int k = n - 1; k >= 0; --k) {
    if (k < nrt && e(k) != 0.0) {
      for (int j = k + 1; j < n; ++j) {
        double t = 0.0;
        for (int i = k + 1; i < n; ++i) t += V(i, k) * V(i, j);
        t = -t / V(k + 1, k);
        for (int i = k + 1; i < n; ++i) V(i, j) += t * V(i, k);
      }
    }
    for (int i = 0; i < n; ++i) V(i, k) = 0.0;
    V(k, k) = 1.0;
  }

  // Implicit-shift QR on the bidiagonal matrix until every superdiagonal
  // value is negligible. tiny keeps the tests meaningful when both diagonal
  // neighbours have underflowed to zero.
  int const pp = p - 1;
  double const eps = std::ldexp(1.0, -52);
  double const tiny = std::ldexp(1.0, -966);
  // Finite input converges in a few passes per value; the cap only ends a
  // run that intermediate overflow has turned into NaN.
  long const max_passes = 100L * (p + 1);
  long passes = 0;
  while (p > 0) {
    int k;
    int kase;
    if (++passes > max_passes) {
      // Out of sweeps: take what is left on the superdiagonal as negligible
      // so that the values still come out non-negative and sorted.
      for (int i = 0; i < p - 1; ++i) e(i) = 0.0;
    }

    for (k = p - 2; k >= -1; --k) {
      if (k == -1) break;
      if (std::abs(e(k)) <= tiny + eps * (std::abs(s(k)) + std::abs(s(k + 1)))) {
        e(k) = 0.0;
        break;
      }
    }
    if (k == p - 2) {
      kase = 4;
    } else {
      int ks;
      for (ks = p - 1; ks >= k; --ks) {
        if (ks == k) break;
        double const t = (ks != p ? std::abs(e(ks)) : 0.0) + (ks != k + 1 ? std::abs(e(ks - 1)) : 0.0);
        if (std::abs(s(ks)) <= tiny + eps * t) {
          s(ks) = 0.0;
          break;
        }
      }
      if (ks == k) {
        kase = 3;
      } else if (ks == p - 1) {
        kase = 1;
      } else {
        kase = 2;
        k = ks;
      }
    }
    ++k;

    switch (kase) {
      case 1: {
        // Deflate a negligible s(p-1).
        double f = e(p - 2);
        e(p - 2) = 0.0;
        for (int j = p - 2; j >= k; --j) {
          double t = hypot(s(j), f);
          double const cs = s(j) / t;
          double const sn = f / t;
          s(j) = t;
          if (j != k) {
            f = -sn * e(j - 1);
            e(j - 1) = cs * e(j - 1);
          }
          for (int i = 0; i < n; ++i) {
            t = cs * V(i, j) + sn * V(i, p - 1);
            V(i, p - 1) = -sn * V(i, j) + cs * V(i, p - 1);
            V(i, j) = t;
          }
        }
      } break;

      case 2: {
        // Split at a negligible s(k-1).
        double f = e(k - 1);
        e(k - 1) = 0.0;
        for (int j = k; j < p; ++j) {
          double t = hypot(s(j), f);
          double const cs = s(j) / t;
          double const sn = f / t;
          s(j) = t;
          f = -sn * e(j);
          e(j) = cs * e(j);
          for (int i = 0; i < m; ++i) {
            t = cs * U(i, j) + sn * U(i, k - 1);
            U(i, k - 1) = -sn * U(i, j) + cs * U(i, k - 1);
            U(i, j) = t;
          }
        }
      } break;

      case 3: {
        // One QR sweep with the shift from the trailing 2 x 2 block.
        double const scale = std::max(
            std::max(std::max(std::max(std::abs(s(p - 1)), std::abs(s(p - 2))), std::abs(e(p - 2))), std::abs(s(k))),
            std::abs(e(k)));
        double const sp = s(p - 1) / scale;
        double const spm1 = s(p - 2) / scale;
        double const epm1 = e(p - 2) / scale;
        double const sk = s(k) / scale;
        double const ek = e(k) / scale;
        double const b = ((spm1 + sp) * (spm1 - sp) + epm1 * epm1) / 2.0;
        double const c = (sp * epm1) * (sp * epm1);
        double shift = 0.0;
        if (b != 0.0 || c != 0.0) {
          shift = std::sqrt(b * b + c);
          if (b < 0.0) shift = -shift;
          shift = c / (b + shift);
        }
        double f = (sk + sp) * (sk - sp) + shift;
        double g = sk * ek;

        for (int j = k; j < p - 1; ++j) {
          double t = hypot(f, g);
          double cs = f / t;
          double sn = g / t;
          if (j != k) e(j - 1) = t;
          f = cs * s(j) + sn * e(j);
          e(j) = cs * e(j) - sn * s(j);
          g = sn * s(j + 1);
          s(j + 1) = cs * s(j + 1);
          for (int i = 0; i < n; ++i) {
            t = cs * V(i, j) + sn * V(i, j + 1);
            V(i, j + 1) = -sn * V(i, j) + cs * V(i, j + 1);
            V(i, j) = t;
          }
          t = hypot(f, g);
          cs = f / t;
          sn = g / t;
          s(j) = t;
          f = cs * e(j) + sn * s(j + 1);
          s(j + 1) = -sn * e(j) + cs * s(j + 1);
          g = sn * e(j + 1);
          e(j + 1) = cs * e(j + 1);
          if (j < m - 1) {
            for (int i = 0; i < m; ++i) {
              t = cs * U(i, j) + sn * U(i, j + 1);
              U(i, j + 1) = -sn * U(i, j) + cs * U(i, j + 1);
              U(i, j) = t;
            }
          }
        }
        e(p - 2) = f;
      } break;

      case 4: {
        // Convergence: make the value non-negative and sort it into place.
        if (s(k) <= 0.0) {
          s(k) = (s(k) < 0.0 ? -s(k) : 0.0);
          for (int i = 0; i < n; ++i) V(i, k) = -V(i, k);
        }
        while (k < pp) {
          if (s(k) >= s(k + 1)) break;
          std::swap(s(k), s(k + 1));
          if (k < n - 1)
            for (int i = 0; i < n; ++i) std::swap(V(i, k + 1), V(i, k));
          if (k < m - 1)
            for (int i = 0; i < m; ++i) std::swap(U(i, k + 1), U(i, k));
          ++k;
        }
        --p;
      } break;
    }
  }
}

}  // namespace svd_detail

/// Singular value decomposition A = U diag(s) V^T of an m x n uBLAS matrix
/// expression (sparse or dense). U becomes m x min(m, n), s holds min(m + 1, n)
/// values, non-negative and descending (the values past min(m, n) are 0), V
/// becomes n x n; U and V have orthonormal columns. It always terminates: a
/// NaN or infinite entry of A gives NaN in all of U, s and V.
/// Throws std::invalid_argument for an A without rows or without columns.
template <typename MatrixA, typename MatrixU, typename VectorS, typename MatrixV>
void svd_decompose(MatrixA const& A, MatrixU& U, VectorS& s, MatrixV& V) {
  std::size_t const m = A.size1();
  std::size_t const n = A.size2();
  if (m < 1) throw std::invalid_argument("svd(): A did not have any rows?");
  if (n < 1) throw std::invalid_argument("svd(): A did not have any columns?");
  using workspace = svd_detail::Workspace<MatrixA>;
  typename workspace::matrix_type W(m, n);
  W.assign(A);
  typename workspace::e_vector_type e(n);
  typename workspace::work_vector_type work(m);
  U.resize(m, std::min(m, n), false);
  s.resize(std::min(m + 1, n), false);
  V.resize(n, n, false);
  svd_detail::decompose_dense(W, U, s, V, e, work);
}

/// Least-squares, minimum-norm solution of A x = b through the decomposition
/// of A; singular values below the absolute cut-off 0.001 count as zero, so
/// their directions contribute nothing to x. x must be sized by the caller.
/// A with NaN or infinity gives NaN in x.
/// Throws std::invalid_argument, before any work, when A has no rows or no
/// columns ("svd(): A was empty"), when b's size differs from A's row count
/// or x's size from A's column count.
template <typename MatrixA, typename VectorB, typename VectorX>
void svd_solve(MatrixA const& A, VectorB const& b, VectorX& x) {
  std::size_t const m = A.size1();
  std::size_t const n = A.size2();
  if (m == 0) throw std::invalid_argument("svd(): A was empty");
  if (n == 0) throw std::invalid_argument("svd(): A was empty");
  if (b.size() != m) throw std::invalid_argument("svd(): The size of b must be the same as the number of rows in A");
  if (x.size() != n) {
    throw std::invalid_argument("svd(): The size of x must be the same as the number of columns in A");
  }

  using workspace = svd_detail::Workspace<MatrixA>;
  typename workspace::u_matrix_type U;
  typename workspace::s_vector_type s;
  typename workspace::v_matrix_type V;
  svd_decompose(A, U, s, V);

  static double const cut_off = 0.001;
  std::size_t const nu = std::min(m, n);
  for (std::size_t j = 0; j < n; ++j) x(j) = 0.0;
  for (std::size_t i = 0; i < nu; ++i) {
    double const w = std::abs(s(i)) < cut_off ? 0.0 : 1.0 / s(i);
    double ub = 0.0;
    for (std::size_t r = 0; r < m; ++r) ub += U(r, i) * b(r);
    double const coefficient = w * ub;
    for (std::size_t j = 0; j < n; ++j) x(j) += V(j, i) * coefficient;
  }
}

}  // namespace math
}  // namespace Quarvel

#endif
