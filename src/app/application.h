#ifndef FROTH_APP_APPLICATION_H
#define FROTH_APP_APPLICATION_H

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "app/base_perspective_view_application.h"
#include "foam/foam2d_simulator.h"
#include "foam/foam_mesh.h"
#include "foam/foam_statistics.h"
#include "math/basic_math_types.h"
#include "render/text_panel.h"

/// Entries of the "Foam model" submenu, in menu order.
extern Quarvel::glut::MenuEntry const foam_menu_entries[27];

namespace Quarvel {
namespace solver {
struct SolverResult;
}
}  // namespace Quarvel

/// One console line on a global solve: iterations, the final residuals and
/// how it ended.
void solver_report(Quarvel::solver::SolverResult const& r, std::ostream& out);

/// The foam program: owns the foam, its simulator, its statistics, the site
/// list, the selections and the text panel, and turns keys, menu entries and
/// mouse drags into foam commands.
///
/// The foam logic works without a window (only the drawing, the menus and the
/// frame's GL operations need one), so a test can construct the object, call
/// init() and drive it with dispatch_key(), run_step() and the mouse
/// operations.
class Application : public Quarvel::glut::BasePerspectiveViewApplication<Quarvel::math::BasicMathTypes> {
 public:
  using base_type = Quarvel::glut::BasePerspectiveViewApplication<Quarvel::math::BasicMathTypes>;
  using foam_type = Quarvel::kordal::FoamMesh;
  using simulator_type = Quarvel::kordal::FoamSimulator;
  using statistics_type = Quarvel::kordal::FoamStatistics<foam_type>;
  using vertex_handle = foam_type::vertex_handle;
  using face_handle = foam_type::face_handle;

  bool m_keys[256];  ///< one toggle per key code that reaches handle_key
  foam_type m_foam;
  simulator_type m_quisk;
  statistics_type m_statistics;
  std::vector<vector3_type> m_sites;     ///< sites of the current foam
  double m_pressure_scale;               ///< handed to foam construction
  unsigned m_bubble;                     ///< index of the selected bubble in list order
  unsigned m_junction;                   ///< index of the selected junction in list order
  bool m_stretching;                     ///< ctrl + left drag in progress
  bool m_resizing_sites;                 ///< plain left drag in progress
  int m_site_count;                      ///< number of random sites, never below 10
  vector3_type m_last_mouse;             ///< last drag position as (x, -y, 0)
  bool m_filled;                         ///< draw bubbles filled
  Quarvel::render::TextPanel m_overlay;  ///< every panel; its visibility is the statistics switch
  double m_fill_intensity;               ///< scales the lowest pressure of the fill range
  bool m_quasi_static = false;           ///< the idle step diffuses, makes the events and solves exactly

  static constexpr int min_site_count = 10;

  /// A 960 x 540 window; the members hold the values that initialize() sets.
  Application();

  void draw_scene() override;
  void handle_key(unsigned char key) override;
  void build_menus(int main_menu, Quarvel::glut::menu_callback_type callback) override;
  void initialize() override;
  void run_step() override;
  void on_shutdown() override;
  char const* window_title() override;

  void mouse_down(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) override;
  void mouse_up(double x, double y, bool shift, bool ctrl, bool alt, bool left, bool middle, bool right) override;
  void mouse_move(double x, double y) override;

  /// With the overlay visible: the statistics take step_time (seconds), are
  /// updated and collect the simulator's T1 and T2 counters, which are zeroed.
  /// With the overlay hidden nothing happens.
  void refresh_statistics(double step_time);

  /// The junction at position m_junction of the junction list; null when the
  /// index is past the end.
  vertex_handle selected_junction() const;
  /// The bubble at position m_bubble of the bubble list; null when past the end.
  face_handle selected_bubble() const;

  /// The sites as source statements that append them to m_sites, with the
  /// selected junction and the permeability after them.
  void print_sites(std::ostream& out) const;

 private:
  void rebuild();
  void reset_pressures();
  void run_junction_command(unsigned char key);
  void stretch(vector3_type const& d);
};

#endif
