#ifndef FROTH_FOAM_FOAM2D_SIMULATOR_H
#define FROTH_FOAM_FOAM2D_SIMULATOR_H

#include <cmath>
#include <cstdint>
#include <iostream>
#include <utility>
#include <vector>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace kordal {

// Policies of the simulator. They carry no state: the parameters that belong
// to them are members of the simulator.

/// Film length at or below which a film takes part in a T1 event.
class T1Threshold {};
/// Target area at or below which a bubble takes part in a T2 event.
class T2AreaThreshold {};
/// Gas diffusion by von Neumann's law.
class DiffusionVonNeumann {};
/// Named as a policy only; no operation uses it.
class FilmThinningRate {};
/// Named as a policy only; no operation uses it.
class FilmRuptureBoundary {};

/// Advances a foam in time: equilibrates junctions, diffuses gas and performs
/// the topological events. Holds the model's parameters, the event counters
/// and the verbose flag; points at the foam but does not own it.
///
/// Per-junction operations share one calling form: max_iterations (0 = no
/// cap) and tau (a value not greater than 0 means m_tau) are passed by
/// address, only read, and handed unchanged to the operations they call.
/// Each operation is defined in its own header, included at the end of this
/// one.
template <class Mesh, class T1Threshold, class T2AreaThreshold, class DiffusionVonNeumann, class FilmThinningRate,
          class FilmRuptureBoundary>
class Foam2DSimulator {
 public:
  using mesh_type = Mesh;
  using real_type = typename Mesh::real_type;
  using vector3_type = typename Mesh::vector3_type;
  using vertex_handle = typename Mesh::vertex_handle;
  using halfedge_handle = typename Mesh::halfedge_handle;
  using edge_handle = typename Mesh::edge_handle;
  using face_handle = typename Mesh::face_handle;
  using vertex_type = typename Mesh::vertex_type;
  using face_type = typename Mesh::face_type;
  using index_type = typename Mesh::index_type;

  /// A simulator of the given foam with the construction values: no tension,
  /// no permeability, 10 iterations, tau 0.1, both thresholds 0.
  explicit Foam2DSimulator(Mesh* mesh) : m_mesh(mesh) {}
  virtual ~Foam2DSimulator() = default;

  /// The gas permeability of the films; 0 or less disables diffusion.
  double permeability() const { return m_permeability; }

  /// 2 pi / 3: the angle at which three films meet in equilibrium, also a
  /// factor of the von Neumann coefficient.
  static double const& two_pi_over_three() {
    static double const value = 2.0 * std::acos(-1.0) / 3.0;
    return value;
  }

  /// Moves a three-fold interior junction and adjusts the pressures of its
  /// three bubbles (the outer bubble's excepted) until every bubble has its
  /// target area (a negative target counts as 0) and the films meet at 120
  /// degrees: a damped Newton iteration with a least-squares solve, its steps
  /// shortened until the junction stays inside one of its bubbles and leaves
  /// them clockwise and no bubble around them inside out (none is taken when
  /// no step of at least 0.001 passes). Returns at once for a boundary
  /// junction and for one without exactly three films. An iteration whose
  /// angle error grows, or a Jacobian that does not settle, or a non-finite
  /// residual, Jacobian or step, undoes the last update and returns; nothing
  /// non-finite is ever written to the foam. An update that changes nothing
  /// ends the call. Never writes target areas. Prints its progress to standard
  /// output when m_verbose is set. The solver's exceptions pass through.
  void equilibrate(vertex_handle junction, unsigned const& max_iterations, double const& tau);

  /// One von Neumann step on every bubble that touches no open border: its
  /// target area changes by (n - 6) k, n its films, k = tension x permeability
  /// x 2 pi / 3 (the outer bubble's by 0). Returns false, changing nothing,
  /// when the permeability is 0 or less.
  bool diffuse();

  /// The same step on the bubbles around one junction (borders without a
  /// bubble are passed over), labelled "i", "j", "k", ... in verbose output.
  /// Returns false, changing nothing, when the permeability is 0 or less.
  bool diffuse_junction(vertex_handle junction);

  /// Flips the first film of the junction that qualifies for a T1 (three-fold
  /// ends, not flipped in this loop, no longer than m_t1_threshold, more than
  /// three films in both of its bubbles, a bubble on both sides, four distinct
  /// bubbles around it, and no bubble beside it that is due for a T2, whose
  /// films the T2 event takes away itself) and equilibrates the two new
  /// junctions. Returns whether a T1 was made.
  bool perform_t1(vertex_handle junction, unsigned const& max_iterations, double const& tau);

  /// Acts on the first bubble around the junction that calls for a T2 (enclosed,
  /// not outer, target area at most m_t2_threshold): collapses a three-sided
  /// one, reshapes a pair of three-sided ones by a forced T1, or forces a T1 on
  /// the shortest film of a larger one that may be swapped, when the
  /// junction ends that film (and collapses it at once if that leaves it
  /// three-sided). No forced T1 leaves
  /// a bubble with fewer than three films, and no collapse happens next to a
  /// three-sided bubble. Returns whether the topology changed.
  bool perform_t2(vertex_handle junction, unsigned const& max_iterations, double const& tau);

  /// Finishes a T1 that made the film `created`: equilibrates its two
  /// junctions and marks the film as made by a T1.
  void finish_forced_t1(edge_handle created, unsigned const& max_iterations, double const& tau);

  /// One simulation loop: every junction, in an order shuffled by the
  /// program's generator, takes part in a T2, else a T1, else is equilibrated.
  /// Junctions removed earlier in the loop are skipped; those created by the
  /// loop are not visited.
  void simulate(unsigned const& max_iterations, double const& tau);

  Mesh* m_mesh;                            ///< the foam being simulated; not owned
  double m_film_tension = 0.0;             ///< tension of one film surface
  double m_permeability = 0.0;             ///< gas permeability of the films; 0 or less: no diffusion
  std::uint32_t m_max_iterations = 10;     ///< equilibration iterations per junction and visit; 0 = no cap
  double m_tau = 0.1;                      ///< Newton step length used when the caller passes tau <= 0
  /// The junction equilibration's Jacobian from the films' arc derivatives
  /// instead of central differences: the same equations at a fraction of the
  /// cost, along another path (the sweeps' pinned results keep differences).
  bool m_analytic_jacobian = false;
  bool m_verbose = false;                  ///< progress lines of equilibration and the events on m_log
  std::ostream* m_log = &std::cout;        ///< where verbose lines go; not owned
  double m_t1_threshold = 0.0;             ///< film length at or below which a T1 is due
  std::uint32_t m_t1_count = 0;            ///< T1 events since last collected
  double m_t2_threshold = 0.0;             ///< target area at or below which a T2 is due
  std::uint32_t m_t2_count = 0;            ///< T2 events since last collected
  double m_von_neumann_coefficient = 0.0;  ///< m_film_tension x m_permeability x 2 pi / 3

 private:
  double von_neumann_change(face_type const& bubble, unsigned films) const;
  /// Whether a forced T1 may swap the film: neither bubble beside it would be
  /// left with two films and, if check_geometry, no bubble turns inside out.
  bool can_force_t1(edge_handle film, bool check_geometry = true) const;
  bool beside_vanishing_bubble(edge_handle film) const;
  /// The shortest film of a spent bubble that a forced T1 may swap, leaving
  /// the bubble a positive area; null if none may.
  edge_handle shortest_swappable_film(face_handle bubble) const;
  face_handle side_bubble(edge_handle created, bool first_side) const;
  bool qualifies_for_t2(face_handle bubble) const;
  bool handle_three_sided(face_handle bubble, unsigned const& max_iterations, double const& tau);
  bool force_t1_on_pair(halfedge_handle shared, unsigned const& max_iterations, double const& tau);
  bool collapse_spent_pair(halfedge_handle shared, unsigned const& max_iterations, double const& tau);
  /// Adds a bubble (not null, not outer, not yet guarded) to m_guarded with
  /// its area floor: 0, or its area if already below.
  void guard_area(face_handle bubble);
  /// Whether every guarded bubble's area, as the foam stands, is at its floor or above.
  bool guarded_areas_hold() const;
  /// The longest step, tau halved from the given one, that keeps the
  /// junction inside one of its bubbles, the three clockwise, no guarded
  /// bubble inside out and no film bent past a half circle; 0 if none of at
  /// least a thousandth does.
  template <typename System, typename Vector>
  double line_search(System const& system, Vector const& x, double tau);

  std::vector<std::pair<face_handle, double>> m_guarded;  ///< bubbles whose area a trial change may not take below a floor
  /// Scratch of equilibrate(): film_bend of the three bubbles' films before
  /// a step, and the largest pressure difference at which a film next to a
  /// half circle may grow longer (-1: it may not).
  std::vector<std::pair<double, double>> m_bends;
  std::vector<vertex_handle> m_junction_order;  ///< scratch of simulate(), kept to spare allocations
};

/// The simulator of the application: the one instantiation over the foam mesh.
using FoamSimulator =
    Foam2DSimulator<FoamMesh, T1Threshold, T2AreaThreshold, DiffusionVonNeumann, FilmThinningRate, FilmRuptureBoundary>;

}  // namespace kordal
}  // namespace Quarvel

#include "foam/gas_diffusion.h"
#include "foam/junction_equilibration.h"
#include "foam/simulation_loop.h"
#include "foam/topological_events.h"

#endif
