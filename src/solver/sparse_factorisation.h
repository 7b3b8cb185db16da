#ifndef FROTH_SOLVER_SPARSE_FACTORISATION_H
#define FROTH_SOLVER_SPARSE_FACTORISATION_H

#include <memory>

#include <Eigen/Core>

#include "solver/foam_system.h"

namespace Quarvel {
namespace solver {

/// The sparse direct solvers the equilibrium solver can use: Eigen's own
/// supernodal LU (COLAMD ordering), or UMFPACK through Eigen when the build
/// found it.
enum class Factorisation { sparse_lu, umfpack };

/// Whether this build has UMFPACK.
bool has_umfpack();

/// The factorisation the solver uses unless told otherwise: the faster one
/// this build has (measured on the generated foams of the benchmarks).
Factorisation default_factorisation();

/// LU factors of a square sparse matrix, the pattern's analysis kept until
/// the pattern changes.
class SparseFactorisation {
 public:
  explicit SparseFactorisation(Factorisation kind);
  ~SparseFactorisation();
  SparseFactorisation(SparseFactorisation const&) = delete;
  SparseFactorisation& operator=(SparseFactorisation const&) = delete;

  /// Factorises J, analysing its pattern first when new_pattern (or on the
  /// first call). False when the matrix is singular.
  bool factorise(SparseMatrix const& J, bool new_pattern);
  /// Solves J x = b with the last factors; false when x is not finite.
  bool solve(Eigen::VectorXd const& b, Eigen::VectorXd& x);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace solver
}  // namespace Quarvel

#endif
