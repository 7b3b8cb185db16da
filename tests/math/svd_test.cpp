// Singular value decomposition and the least-squares solve built on it.

#include "math/svd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/numeric/ublas/matrix_sparse.hpp>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

namespace {

namespace ublas = boost::numeric::ublas;
using Quarvel::math::svd_decompose;
using Quarvel::math::svd_solve;

using sparse_matrix = ublas::compressed_matrix<double>;
using dense_matrix = ublas::matrix<double>;
using dense_vector = ublas::vector<double>;

sparse_matrix random_matrix(std::size_t m, std::size_t n, std::mt19937& rng) {
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  sparse_matrix A(m, n);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < n; ++j) A(i, j) = value(rng);
  return A;
}

/// A random m x n matrix of the given rank (a product of m x r and r x n).
sparse_matrix random_rank(std::size_t m, std::size_t n, std::size_t rank, std::mt19937& rng) {
  dense_matrix const L = random_matrix(m, rank, rng);
  dense_matrix const R = random_matrix(rank, n, rng);
  dense_matrix const P = ublas::prod(L, R);
  sparse_matrix A(m, n);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < n; ++j) A(i, j) = P(i, j);
  return A;
}

/// Checks every promise of the decomposition for one matrix.
void expect_valid_decomposition(sparse_matrix const& A, double tol) {
  dense_matrix U, V;
  dense_vector s;
  svd_decompose(A, U, s, V);
  std::size_t const m = A.size1(), n = A.size2(), nu = std::min(m, n);
  ASSERT_EQ(U.size1(), m);
  ASSERT_EQ(U.size2(), nu);
  ASSERT_EQ(s.size(), std::min(m + 1, n));
  ASSERT_EQ(V.size1(), n);
  ASSERT_EQ(V.size2(), n);

  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_GE(s(i), 0.0) << "s(" << i << ")";
    if (i + 1 < s.size()) {
      EXPECT_GE(s(i), s(i + 1)) << "s(" << i << ")";
    }
    if (i >= nu) {
      EXPECT_EQ(s(i), 0.0);
    }
  }
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      double r = 0.0;
      for (std::size_t k = 0; k < nu; ++k) r += U(i, k) * s(k) * V(j, k);
      EXPECT_NEAR(r, A(i, j), tol) << "A(" << i << ", " << j << ") rebuilt";
    }
  }
  for (std::size_t a = 0; a < nu; ++a) {
    for (std::size_t b = 0; b < nu; ++b) {
      double d = 0.0;
      for (std::size_t i = 0; i < m; ++i) d += U(i, a) * U(i, b);
      EXPECT_NEAR(d, a == b ? 1.0 : 0.0, tol) << "U columns " << a << ", " << b;
    }
  }
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = 0; b < n; ++b) {
      double d = 0.0;
      for (std::size_t i = 0; i < n; ++i) d += V(i, a) * V(i, b);
      EXPECT_NEAR(d, a == b ? 1.0 : 0.0, tol) << "V columns " << a << ", " << b;
    }
  }
}

TEST(SvdDecompose, RebuildsRandomMatricesOfEveryShape) {
  std::mt19937 rng(17);
  std::pair<std::size_t, std::size_t> const shapes[] = {{1, 1}, {1, 4}, {4, 1}, {2, 2}, {5, 5},
                                                        {7, 4}, {4, 7}, {3, 8}, {9, 9}, {12, 6}};
  for (auto const& shape : shapes) {
    for (int trial = 0; trial < 4; ++trial) {
      SCOPED_TRACE(std::to_string(shape.first) + " x " + std::to_string(shape.second));
      expect_valid_decomposition(random_matrix(shape.first, shape.second, rng), 1e-12);
    }
  }
}

TEST(SvdDecompose, RebuildsRankDeficientMatrices) {
  std::mt19937 rng(5);
  struct Case {
    std::size_t m, n, rank;
  } const cases[] = {{5, 5, 1}, {5, 5, 2}, {5, 5, 4}, {6, 4, 2}, {4, 6, 3}, {8, 8, 5}};
  for (auto const& c : cases) {
    SCOPED_TRACE(std::to_string(c.m) + " x " + std::to_string(c.n) + " rank " + std::to_string(c.rank));
    sparse_matrix const A = random_rank(c.m, c.n, c.rank, rng);
    expect_valid_decomposition(A, 1e-11);
    dense_matrix U, V;
    dense_vector s;
    svd_decompose(A, U, s, V);
    EXPECT_GT(s(c.rank - 1), 1e-3);
    for (std::size_t i = c.rank; i < s.size(); ++i) EXPECT_LT(s(i), 1e-12);
  }

  // Structurally singular: a zero row and a zero column, and the zero matrix.
  sparse_matrix A = random_matrix(5, 5, rng);
  for (std::size_t j = 0; j < 5; ++j) A(2, j) = 0.0;
  for (std::size_t i = 0; i < 5; ++i) A(i, 2) = 0.0;
  expect_valid_decomposition(A, 1e-12);
  expect_valid_decomposition(sparse_matrix(4, 3), 0.0);
}

TEST(SvdDecompose, FixedSizeAndSparseArgumentsGiveTheSameBits) {
  std::mt19937 rng(11);
  sparse_matrix const A = random_matrix(5, 5, rng);
  ublas::c_matrix<double, 5, 5> F;
  for (std::size_t i = 0; i < 5; ++i)
    for (std::size_t j = 0; j < 5; ++j) F(i, j) = A(i, j);
  dense_vector b(5);
  for (std::size_t i = 0; i < 5; ++i) b(i) = double(i) - 1.5;
  ublas::c_vector<double, 5> fb(5), fx(5);
  for (std::size_t i = 0; i < 5; ++i) fb(i) = b(i);
  dense_vector x(5);
  svd_solve(A, b, x);
  svd_solve(F, fb, fx);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(x(i), fx(i));
}

TEST(SvdSolve, CutsOffSmallSingularValues) {
  sparse_matrix A(3, 3);
  A(0, 0) = 2.0;
  A(1, 1) = 0.0005;
  A(2, 2) = 1.0;
  dense_vector b(3);
  b(0) = 2.0;
  b(1) = 1.0;
  b(2) = 3.0;
  dense_vector x(3);
  svd_solve(A, b, x);
  EXPECT_NEAR(x(0), 1.0, 1e-14);
  EXPECT_EQ(x(1), 0.0);
  EXPECT_NEAR(x(2), 3.0, 1e-14);

  // Just above the cut-off the direction counts.
  A(1, 1) = 0.0011;
  svd_solve(A, b, x);
  EXPECT_NEAR(x(1), 1.0 / 0.0011, 1e-9);
}

TEST(SvdSolve, ZeroRowAndColumnGiveZeroInX) {
  std::mt19937 rng(3);
  for (std::size_t k = 0; k < 5; ++k) {
    sparse_matrix A = random_matrix(5, 5, rng);
    for (std::size_t j = 0; j < 5; ++j) A(k, j) = 0.0;
    for (std::size_t i = 0; i < 5; ++i) A(i, k) = 0.0;
    dense_vector b(5);
    for (std::size_t i = 0; i < 5; ++i) b(i) = 1.0 + double(i);
    dense_vector x(5);
    svd_solve(A, b, x);
    EXPECT_NEAR(x(k), 0.0, 1e-13) << "k = " << k;
    // The other four equations are met exactly.
    dense_vector const r = ublas::prod(A, x) - b;
    for (std::size_t i = 0; i < 5; ++i) {
      if (i != k) {
        EXPECT_NEAR(r(i), 0.0, 1e-10) << "row " << i;
      }
    }
  }
  // The zero matrix solves to zero.
  dense_vector b(4, 1.0), x(4, 7.0);
  svd_solve(sparse_matrix(4, 4), b, x);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(x(i), 0.0);
}

TEST(SvdSolve, MeetsTheNormalEquationsAndHasMinimumNorm) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  // Overdetermined, full column rank: A^T (A x - b) = 0.
  for (int trial = 0; trial < 5; ++trial) {
    sparse_matrix const A = random_matrix(9, 4, rng);
    dense_vector b(9);
    for (std::size_t i = 0; i < 9; ++i) b(i) = value(rng);
    dense_vector x(4);
    svd_solve(A, b, x);
    dense_vector const r = ublas::prod(A, x) - b;
    dense_vector const g = ublas::prod(ublas::trans(A), r);
    for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(g(j), 0.0, 1e-10);
  }
  // Rank-deficient square: the normal equations hold, and x has no part in
  // the null space.
  for (int trial = 0; trial < 5; ++trial) {
    sparse_matrix const A = random_rank(6, 6, 3, rng);
    dense_vector b(6);
    for (std::size_t i = 0; i < 6; ++i) b(i) = value(rng);
    dense_vector x(6);
    svd_solve(A, b, x);
    dense_vector const r = ublas::prod(A, x) - b;
    dense_vector const g = ublas::prod(ublas::trans(A), r);
    for (std::size_t j = 0; j < 6; ++j) EXPECT_NEAR(g(j), 0.0, 1e-9);
    dense_matrix U, V;
    dense_vector s;
    svd_decompose(A, U, s, V);
    for (std::size_t i = 3; i < 6; ++i) {
      double d = 0.0;
      for (std::size_t j = 0; j < 6; ++j) d += V(j, i) * x(j);
      EXPECT_NEAR(d, 0.0, 1e-10);
    }
  }
  // Underdetermined and consistent: A x = b exactly.
  sparse_matrix const A = random_matrix(3, 6, rng);
  dense_vector b(3);
  for (std::size_t i = 0; i < 3; ++i) b(i) = value(rng);
  dense_vector x(6);
  svd_solve(A, b, x);
  dense_vector const r = ublas::prod(A, x) - b;
  for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(r(i), 0.0, 1e-11);
}

std::string message_of(std::function<void()> const& call) {
  try {
    call();
  } catch (std::invalid_argument const& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(SvdPreconditions, ThrowInTheirOrderWithTheirMessages) {
  dense_vector b3(3), b2(2), x3(3), x2(2), empty;
  EXPECT_EQ(message_of([&] { svd_solve(sparse_matrix(0, 3), empty, x3); }), "svd(): A was empty");
  EXPECT_EQ(message_of([&] { svd_solve(sparse_matrix(3, 0), b3, empty); }), "svd(): A was empty");
  // The row check comes before the size checks.
  EXPECT_EQ(message_of([&] { svd_solve(sparse_matrix(0, 0), b2, x2); }), "svd(): A was empty");
  EXPECT_EQ(message_of([&] { svd_solve(sparse_matrix(3, 3), b2, x2); }),
            "svd(): The size of b must be the same as the number of rows in A");
  EXPECT_EQ(message_of([&] { svd_solve(sparse_matrix(3, 3), b3, x2); }),
            "svd(): The size of x must be the same as the number of columns in A");
  // A bad size is refused before x is touched.
  dense_vector x_kept(2, 5.0);
  EXPECT_THROW(svd_solve(sparse_matrix(3, 2), b2, x_kept), std::invalid_argument);
  EXPECT_EQ(x_kept(0), 5.0);

  dense_matrix U, V;
  dense_vector s;
  EXPECT_EQ(message_of([&] { svd_decompose(sparse_matrix(0, 2), U, s, V); }), "svd(): A did not have any rows?");
  EXPECT_EQ(message_of([&] { svd_decompose(sparse_matrix(2, 0), U, s, V); }), "svd(): A did not have any columns?");
}

TEST(SvdNonFinite, TerminatesAndAnswersNaN) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  std::mt19937 rng(29);
  for (double bad : {nan, inf, -inf}) {
    sparse_matrix A = random_matrix(5, 5, rng);
    A(1, 3) = bad;
    dense_matrix U, V;
    dense_vector s;
    svd_decompose(A, U, s, V);
    ASSERT_EQ(s.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(std::isnan(s(i)));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(std::isnan(U(i, i)) && std::isnan(V(i, i)));
    dense_vector b(5, 1.0), x(5, 0.0);
    svd_solve(A, b, x);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(std::isnan(x(i)));
  }

  // Finite entries whose products overflow still end.
  sparse_matrix A = random_matrix(5, 5, rng);
  A(0, 0) = 1e308;
  A(4, 4) = -1e308;
  A(2, 1) = 1e-308;
  dense_matrix U, V;
  dense_vector s;
  svd_decompose(A, U, s, V);
  EXPECT_EQ(s.size(), 5u);
}

}  // namespace
