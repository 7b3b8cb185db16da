#include "solver/sparse_factorisation.h"

#include <Eigen/SparseLU>
#ifdef FROTH_HAVE_UMFPACK
#include <Eigen/UmfPackSupport>
#endif

namespace Quarvel {
namespace solver {

bool has_umfpack() {
#ifdef FROTH_HAVE_UMFPACK
  return true;
#else
  return false;
#endif
}

Factorisation default_factorisation() { return has_umfpack() ? Factorisation::umfpack : Factorisation::sparse_lu; }

struct SparseFactorisation::Impl {
  Factorisation m_kind;
  bool m_analysed = false;
  Eigen::SparseLU<SparseMatrix, Eigen::COLAMDOrdering<int>> m_lu;
#ifdef FROTH_HAVE_UMFPACK
  Eigen::UmfPackLU<SparseMatrix> m_umfpack;
#endif
};

SparseFactorisation::SparseFactorisation(Factorisation kind) : m_impl(new Impl) {
  m_impl->m_kind = has_umfpack() ? kind : Factorisation::sparse_lu;
#ifdef FROTH_HAVE_UMFPACK
  // Newton's next iteration refines the step anyway; UMFPACK's own
  // refinement would cost more than the factorisation's forward and back
  // substitution several times over.
  m_impl->m_umfpack.umfpackControl()(UMFPACK_IRSTEP) = 0;
#endif
}

SparseFactorisation::~SparseFactorisation() = default;

bool SparseFactorisation::factorise(SparseMatrix const& J, bool new_pattern) {
  Impl& s = *m_impl;
  bool const analyse = new_pattern || !s.m_analysed;
#ifdef FROTH_HAVE_UMFPACK
  if (s.m_kind == Factorisation::umfpack) {
    if (analyse) s.m_umfpack.analyzePattern(J);
    s.m_analysed = true;
    s.m_umfpack.factorize(J);
    return s.m_umfpack.info() == Eigen::Success;
  }
#endif
  if (analyse) s.m_lu.analyzePattern(J);
  s.m_analysed = true;
  s.m_lu.factorize(J);
  return s.m_lu.info() == Eigen::Success;
}

bool SparseFactorisation::solve(Eigen::VectorXd const& b, Eigen::VectorXd& x) {
  Impl& s = *m_impl;
#ifdef FROTH_HAVE_UMFPACK
  if (s.m_kind == Factorisation::umfpack) {
    x = s.m_umfpack.solve(b);
    return s.m_umfpack.info() == Eigen::Success && x.allFinite();
  }
#endif
  x = s.m_lu.solve(b);
  return s.m_lu.info() == Eigen::Success && x.allFinite();
}

}  // namespace solver
}  // namespace Quarvel
