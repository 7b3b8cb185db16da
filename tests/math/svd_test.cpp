// Singular value decomposition and the least-squares solve built on it.

#include "math/svd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/numeric/ublas/assignment.hpp>
#include <boost/numeric/ublas/matrix_sparse.hpp>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "test_helpers.h"

namespace {

namespace ublas = boost::numeric::ublas;
using Quarvel::math::svd_decompose;
using Quarvel::math::svd_solve;
using sparse_matrix = ublas::compressed_matrix<double>;
using dense_matrix = ublas::matrix<double>;
using dense_vector = ublas::vector<double>;

/// A random m x n matrix with entries in [-3, 3], of the given rank when
/// rank < min(m, n) (then a product of m x rank and rank x n).
sparse_matrix random_matrix(std::size_t m, std::size_t n, std::mt19937& rng, std::size_t rank = 0) {
  if (rank > 0 && rank < std::min(m, n)) {
    dense_matrix const L = random_matrix(m, rank, rng);
    dense_matrix const R = random_matrix(rank, n, rng);
    return sparse_matrix(dense_matrix(ublas::prod(L, R)));
  }
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  sparse_matrix A(m, n);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < n; ++j) A(i, j) = value(rng);
  return A;
}

/// Checks every promise of the decomposition for one matrix: the sizes
/// (U m x min(m, n), s min(m + 1, n), V n x n), s descending, non-negative
/// and 0 past min(m, n), A rebuilt, orthonormal columns. Returns s and V.
dense_vector expect_valid_decomposition(sparse_matrix const& A, double tol, dense_matrix* V_out = nullptr) {
  dense_matrix U, V;
  dense_vector s;
  svd_decompose(A, U, s, V);
  std::size_t const m = A.size1(), n = A.size2(), nu = std::min(m, n);
  bool const sized =
      U.size1() == m && U.size2() == nu && s.size() == std::min(m + 1, n) && V.size1() == n && V.size2() == n;
  EXPECT_TRUE(sized);
  if (!sized) return s;
  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_GE(s(i), i + 1 < s.size() ? s(i + 1) : 0.0) << "s(" << i << ")";
    EXPECT_TRUE(i < nu || s(i) == 0.0) << "s(" << i << ") beyond min(m, n)";
  }
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      double r = 0.0;
      for (std::size_t k = 0; k < nu; ++k) r += U(i, k) * s(k) * V(j, k);
      EXPECT_NEAR(r, A(i, j), tol) << "A(" << i << ", " << j << ") rebuilt";
    }
  }
  for (dense_matrix const* M : {&U, &V}) {
    dense_matrix const G = ublas::prod(ublas::trans(*M), *M);
    for (std::size_t a = 0; a < G.size1(); ++a)
      for (std::size_t b = 0; b < G.size2(); ++b)
        EXPECT_NEAR(G(a, b), a == b ? 1.0 : 0.0, tol) << (M == &U ? "U" : "V");
  }
  if (V_out) *V_out = V;
  return s;
}

// Random matrices of every shape, of full rank, of lower rank, or with a zero
// row and column k: the decomposition rebuilds them, the singular values past
// the rank vanish, and the solve gives the minimum-norm least-squares
// solution: it meets the normal equations A^T (A x - b) = 0, has no part in
// the null space, meets every equation whose row is not zero when A has full
// row rank or only the zero row, and then has x(k) = 0. The zero matrix
// solves to zero. (Fixed-size matrices, as the junction equilibration solves
// them, are checked by its convergence.)
TEST(Svd, DecomposesAndSolvesRandomAndRankDeficientMatricesOfEveryShape) {
  std::mt19937 rng(17);
  struct Case {
    std::size_t m, n, rank;  // rank 0: full
    int zero;                // the zero row and column, or -1
  } const cases[] = {{1, 1, 0, -1}, {1, 4, 0, -1}, {4, 1, 0, -1}, {2, 2, 0, -1}, {5, 5, 0, -1},
                     {7, 4, 0, -1}, {4, 7, 0, -1}, {3, 8, 0, -1}, {9, 9, 0, -1}, {12, 6, 0, -1},
                     {5, 5, 1, -1}, {5, 5, 2, -1}, {5, 5, 4, -1}, {6, 4, 2, -1}, {4, 6, 3, -1},
                     {8, 8, 5, -1}, {6, 6, 3, -1}, {5, 5, 0, 0},  {5, 5, 0, 2},  {5, 5, 0, 4}};
  for (auto const& c : cases) {
    for (int trial = 0; trial < 4; ++trial) {
      SCOPED_TRACE(std::to_string(c.m) + " x " + std::to_string(c.n) + " rank " + std::to_string(c.rank) + " zero " +
                   std::to_string(c.zero));
      sparse_matrix A = random_matrix(c.m, c.n, rng, c.rank);
      for (std::size_t j = 0; c.zero >= 0 && j < c.n; ++j) A(c.zero, j) = A(j, c.zero) = 0.0;
      std::size_t const rank = c.rank ? c.rank : std::min(c.m, c.n) - (c.zero >= 0 ? 1 : 0);
      dense_matrix V;
      dense_vector const s = expect_valid_decomposition(A, c.rank ? 1e-11 : 1e-12, &V);
      EXPECT_GT(s(rank - 1), 1e-3);
      for (std::size_t i = rank; i < s.size(); ++i) EXPECT_LT(s(i), 1e-12);
      dense_vector b(c.m), x(c.n);
      for (double& y : b) y = std::uniform_real_distribution<double>(-2.0, 2.0)(rng);
      svd_solve(A, b, x);
      dense_vector const r = ublas::prod(A, x) - b;
      dense_vector const g = ublas::prod(ublas::trans(A), r);
      for (std::size_t j = 0; j < c.n; ++j) EXPECT_NEAR(g(j), 0.0, 1e-10);
      for (std::size_t i = 0; (rank == c.m || c.zero >= 0) && i < c.m; ++i) {
        EXPECT_NEAR(int(i) == c.zero ? 0.0 : r(i), 0.0, 1e-11) << "row " << i;
      }
      EXPECT_NEAR(c.zero >= 0 ? x(c.zero) : 0.0, 0.0, 1e-13) << "x at the zero column";
      dense_vector const null_part = ublas::prod(ublas::trans(V), x);
      for (std::size_t i = rank; i < c.n; ++i) EXPECT_NEAR(null_part(i), 0.0, 1e-10);
    }
  }
  expect_valid_decomposition(sparse_matrix(4, 3), 0.0);
  dense_vector ones(4, 1.0), y(4, 7.0);
  svd_solve(sparse_matrix(4, 4), ones, y);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(y(i), 0.0);
}

// Singular values below the cut-off count as zero; just above it they count.
TEST(Svd, SolveCutsOffSmallSingularValuesAndPreconditionsThrowInTheirOrder) {
  dense_matrix D(3, 3), U, V;
  D <<= 2.0, 0.0, 0.0, 0.0, 0.0005, 0.0, 0.0, 0.0, 1.0;
  sparse_matrix A(D);
  dense_vector b(3), x(3);
  b <<= 2.0, 1.0, 3.0;
  svd_solve(A, b, x);
  EXPECT_NEAR(x(0), 1.0, 1e-14);
  EXPECT_EQ(x(1), 0.0);
  EXPECT_NEAR(x(2), 3.0, 1e-14);
  A(1, 1) = 0.0011;
  svd_solve(A, b, x);
  EXPECT_NEAR(x(1), 1.0 / 0.0011, 1e-9);

  // The row check comes before the size checks; a bad size is refused before
  // x is touched.
  using froth_test::message_of;
  using E = std::invalid_argument;
  dense_vector b3(3), b2(2), x2(2, 5.0), empty, s;
  EXPECT_EQ(message_of<E>([&] { svd_solve(sparse_matrix(3, 0), b3, empty); }), "svd(): A was empty");
  EXPECT_EQ(message_of<E>([&] { svd_solve(sparse_matrix(0, 0), b2, x2); }), "svd(): A was empty");
  EXPECT_EQ(message_of<E>([&] { svd_solve(sparse_matrix(3, 3), b2, x2); }),
            "svd(): The size of b must be the same as the number of rows in A");
  EXPECT_EQ(message_of<E>([&] { svd_solve(sparse_matrix(3, 3), b3, x2); }),
            "svd(): The size of x must be the same as the number of columns in A");
  EXPECT_EQ(message_of<E>([&] { svd_decompose(sparse_matrix(0, 2), U, s, V); }), "svd(): A did not have any rows?");
  EXPECT_EQ(message_of<E>([&] { svd_decompose(sparse_matrix(2, 0), U, s, V); }), "svd(): A did not have any columns?");
  EXPECT_EQ(x2(0), 5.0);
}

// NaN and infinite entries end with NaN everywhere; finite entries whose
// products overflow still end.
TEST(Svd, NonFiniteEntriesTerminateAndAnswerNaN) {
  double const inf = std::numeric_limits<double>::infinity();
  std::mt19937 rng(29);
  dense_matrix U, V;
  dense_vector s;
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    sparse_matrix A = random_matrix(5, 5, rng);
    A(1, 3) = bad;
    svd_decompose(A, U, s, V);
    ASSERT_EQ(s.size(), 5u);
    dense_vector b(5, 1.0), x(5, 0.0);
    svd_solve(A, b, x);
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_TRUE(std::isnan(s(i)) && std::isnan(U(i, i)) && std::isnan(V(i, i)) && std::isnan(x(i))) << i;
    }
  }
  sparse_matrix A = random_matrix(5, 5, rng);
  A(0, 0) = 1e308;
  A(4, 4) = -1e308;
  A(2, 1) = 1e-308;
  svd_decompose(A, U, s, V);
  EXPECT_EQ(s.size(), 5u);
}

}  // namespace
