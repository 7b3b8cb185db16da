#ifndef FROTH_SOLVER_FOAM_SYSTEM_H
#define FROTH_SOLVER_FOAM_SYSTEM_H

#include <cstdint>
#include <string>
#include <vector>

#include <Eigen/SparseCore>

#include "foam/foam_mesh.h"

namespace Quarvel {
namespace solver {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

/// The equilibrium equations of a foam on flat arrays, gathered from the
/// mesh once per topology.
///
/// Unknowns: the position of every three-fold junction that is not on an
/// open border, and the pressure of every bubble but the outer one.
/// Equations: at each such junction the unit tangents of its three films sum
/// to zero (2 rows); for each ordinary bubble, its area (compute_area,
/// bit for bit) minus max(target, 0), divided by max(target, mean target /
/// 10). A closed foam can move and turn as a whole: one junction is held,
/// and one coordinate of the junction farthest from it, and their three
/// equations, which the others imply, are left out of the linear system.
class FoamSystem {
 public:
  /// Gathers the foam. Returns false with `error` set for a foam that has no
  /// equations to solve: empty, no outer bubble, a single bubble, a bubble of
  /// fewer than three films, a junction inside the foam that does not join
  /// three films, a tension that is not positive, a non-finite value.
  bool gather(kordal::FoamMesh const& foam, std::string& error);

  /// Writes positions and pressures into the foam (gathered from it).
  void scatter(kordal::FoamMesh& foam) const;

  std::size_t unknowns() const { return m_unknowns; }

  /// Evaluates the films, the areas and the junction tangents at the
  /// current state; false when a value is not finite.
  bool evaluate();

  /// The scaled residual of every equation (the gauge's included), after
  /// evaluate().
  double residual_norm() const;
  /// Largest |area - max(target, 0)| / scale over the bubbles, after evaluate().
  double largest_area_residual() const;
  /// Largest |angle - 120 degrees| (radians) between successive film
  /// tangents at a junction, after evaluate().
  double largest_angle_residual() const;

  /// The residual of the linear system's rows.
  void system_residual(Eigen::VectorXd& f) const;
  /// The Jacobian of the linear system, after evaluate(). The pattern is
  /// set on the first call after gather() and kept, so that a factorisation
  /// can keep its analysis.
  void jacobian(SparseMatrix& J);
  /// Damps the Jacobian as an implicit step of pseudo-time would, for the
  /// junctions only: each junction row's diagonal entry grows by lambda times
  /// its size away from zero, so that junctions creep along their force while
  /// the pressures keep the areas.
  void damp(SparseMatrix& J, double lambda) const;
  /// True when the last jacobian() call set a new pattern.
  bool pattern_changed() const { return m_pattern_changed; }

  /// Saves and restores the state (positions and pressures).
  void save_state() { m_saved_position = m_position, m_saved_pressure = m_pressure; }
  void restore_state() { m_position = m_saved_position, m_pressure = m_saved_pressure; }
  /// Moves the saved state by alpha times the system's step dx.
  void step_from_saved(Eigen::VectorXd const& dx, double alpha);

  /// The guards of a step, measured before it: after evaluate() at the saved
  /// state, record(); after evaluate() at the trial state, holds() is false
  /// when a bubble's area fell below min(0, its area before), a three-sided
  /// bubble's triangle of corners did so (its bulging films can keep the area
  /// positive while the bubble folds over), two films crossed at a junction
  /// where they did not and no corner was narrower than 0.1 rad (a corner
  /// below zero: the outer bubble's, say, as a spike of it is driven into the
  /// foam), or a film is bent past a half
  /// circle (and further than before, if already).
  void record_guards();
  bool guards_hold() const;

  /// A step that is shortened only where it fails. After record_guards() at
  /// the saved state, begin_local_step() gives every junction and bubble the
  /// whole of its part of dx. After evaluate() at step_locally(dx),
  /// shorten_failing_places(factor) multiplies by factor the part of each
  /// junction and bubble that the step turns inside out, crosses, bends past
  /// a half circle or leaves further out of balance than it was (beyond a
  /// small margin), with the bubbles around such a junction, and returns how
  /// many parts it shortened (a part at 0, held where it was, stays so). A
  /// bad spot of a large foam then holds back its own neighbourhood, not the
  /// whole step.
  void begin_local_step();
  void step_locally(Eigen::VectorXd const& dx);
  std::size_t shorten_failing_places(double factor = 0.5);
  /// The smallest part of dx that a junction or bubble takes.
  double smallest_step_part() const;

  /// Films no longer than the threshold, as mesh edge handles.
  void short_films(double threshold, std::vector<polymesh::edge_handle>& out) const;

 private:
  /// The squared tangent sum of a three-film junction (by its star index),
  /// and a bubble's squared scaled area residual (0 for the outer one).
  double tangent_sum_square(std::size_t star) const;
  double scaled_area_square(std::size_t b) const;
  /// The guards' two tests against record_guards(): a bubble whose area (or,
  /// if three-sided, whose triangle of corners) fell below its floor, and a
  /// film bent past a half circle and further than before.
  bool inside_out(std::size_t b) const;
  bool bent_further_past_half_circle(std::size_t film) const;
  /// A junction whose films cross now but did not before the step, when no
  /// corner of it was narrow then.
  bool newly_crossed(std::size_t star) const;

  struct Film {
    std::uint32_t m_from, m_to;    // junction slots
    std::int32_t m_left, m_right;  // bubble slots of the borders from->to and to->from; -1: none
    std::uint32_t m_edge;          // mesh edge handle index
  };
  // One border of a bubble's loop or of a junction's star: the film and
  // whether it runs from->to.
  struct Border {
    std::uint32_t m_film;
    bool m_forward;
  };
  struct FilmState {
    double m_length = 0.0;
    double m_ux = 0.0, m_uy = 0.0;  // unit chord from->to
    double m_segment = 0.0;         // film_arc from the left bubble
    double m_deviation = 0.0;       // likewise
    double m_bend = 0.0;            // film_bend
  };

  template <typename Sink>
  void assemble(Sink&& sink) const;

  double m_gamma = 0.0;
  std::vector<Film> m_films;
  std::vector<FilmState> m_film_state;
  std::vector<double> m_position;  // 2 per junction slot
  std::vector<double> m_pressure;  // per bubble slot
  std::vector<double> m_saved_position, m_saved_pressure;
  std::vector<std::uint32_t> m_vertex_handle, m_face_handle;  // handle index of each slot
  std::vector<bool> m_outer;                                  // per bubble slot
  std::vector<double> m_target;                               // max(target, 0) per bubble slot
  std::vector<double> m_scale;                                // 1 / max(target, mean / 10)
  std::vector<std::uint32_t> m_loop_begin;                    // per bubble slot + 1
  std::vector<Border> m_loop;
  std::vector<std::uint32_t> m_star_junction;  // junction slot of each free junction
  std::vector<Border> m_star;                  // three per free junction, in circulator order
  // The unknown of each junction coordinate (2 per slot), then of each
  // bubble's pressure; -1 where none. The equation of an unknown has its
  // row: a junction's tangent sum, a bubble's area.
  std::vector<std::int32_t> m_column;
  std::size_t m_unknowns = 0;

  std::vector<double> m_area;         // per bubble slot
  std::vector<double> m_tangent_sum;  // 2 per free junction
  std::vector<double> m_angle_error;  // per free junction
  std::vector<unsigned char> m_crossed;  // per free junction: two of its films cross there
  std::vector<double> m_narrowest;       // per free junction: its narrowest corner, from the tangents
  std::vector<double> m_chord_area;   // per bubble slot: the polygon of its corners
  std::vector<double> m_area_floor;   // guards
  std::vector<double> m_chord_floor;  // guards
  std::vector<double> m_bend_before;
  std::vector<unsigned char> m_may_cross;
  std::vector<double> m_junction_part, m_bubble_part;  // local step: per junction slot, per bubble slot
  std::vector<double> m_tangent_before;                // |tangent sum|^2 per free junction at the saved state
  std::vector<double> m_area_residual_before;          // scaled area residual^2 per bubble slot
  std::vector<unsigned char> m_failing_junction, m_failing_bubble;

  std::vector<int> m_slots;     // value index of each entry, in assembly order
  std::vector<int> m_diagonal;  // value index of each diagonal entry
  std::vector<bool> m_is_area_row;
  bool m_pattern_changed = false;
};

}  // namespace solver
}  // namespace Quarvel

#endif
