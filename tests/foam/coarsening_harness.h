#ifndef FROTH_TESTS_FOAM_COARSENING_HARNESS_H
#define FROTH_TESTS_FOAM_COARSENING_HARNESS_H

// Runs the idle step's sequence (diffuse, then one loop with the window's
// parameters) and checks after every loop that the foam is still a closed
// trivalent foam with finite values whose bubbles hold their target areas.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foam/bubble_tags.h"
#include "foam/foam2d_simulator.h"
#include "foam/foam_session.h"
#include "foam/foam_statistics.h"
#include "foam/simulation_parameters.h"
#include "foam/foam_builders.h"

namespace froth_test {

/// The window's simulator parameters.
inline void configure_like_the_window(Quarvel::kordal::FoamSimulator& sim) {
  Quarvel::kordal::apply_parameters(Quarvel::kordal::SimulationParameters{}, sim);
}

/// Empty when the foam is sound; otherwise what is wrong.
inline std::string foam_fault(FoamMesh const& foam) {
  using namespace Quarvel::kordal;
  std::ostringstream why;
  if (!foam.is_valid(&why)) return why.str();
  std::size_t outer = 0, bubbles = 0;
  for (auto const& f : foam.faces()) {
    unsigned const films = film_count(f);
    if (films < 3) return "bubble " + std::to_string(f.m_self.get_idx()) + " has " + std::to_string(films) + " films";
    if (!std::isfinite(f.m_pressure) || !std::isfinite(f.m_target_area)) {
      return "bubble " + std::to_string(f.m_self.get_idx()) + " has a non-finite value";
    }
    if (f.m_is_outer) {
      ++outer;
      continue;
    }
    ++bubbles;
    if (compute_area(f) < 0.0) return "bubble " + std::to_string(f.m_self.get_idx()) + " is inside out";
  }
  if (outer != 1) return std::to_string(outer) + " outer bubbles";
  for (auto const& h : foam.halfedges()) {
    if (h.m_face.is_null()) return "half-edge " + std::to_string(h.m_self.get_idx()) + " has no bubble";
  }
  for (auto const& v : foam.vertices()) {
    if (valency(v) != 3) return "junction " + std::to_string(v.m_self.get_idx()) + " is not three-fold";
    if (!std::isfinite(v.m_coord.x) || !std::isfinite(v.m_coord.y) || v.m_coord.z != 0.0) {
      return "junction " + std::to_string(v.m_self.get_idx()) + " has a bad position";
    }
  }
  if (foam.vertex_size() != 2 * bubbles - 2) {
    return std::to_string(foam.vertex_size()) + " junctions for " + std::to_string(bubbles) + " bubbles";
  }
  return {};
}

struct CoarseningRun {
  int loops = 0;
  unsigned long t1 = 0;
  unsigned long t2 = 0;
  std::string fault;  ///< empty when every loop left a sound foam
  bool stalled = false;  ///< stopped because no bubble vanished for 20000 loops
  double worst_area_error = 0.0;  ///< largest area error share after the settling loops
};

/// Coarsens until 5 bubbles or fewer remain (the outer bubble counted, as the
/// window's stop rule), loop_cap loops have run, or the run stalls (no bubble
/// vanished for far more loops than the slowest bubble needs to shrink away);
/// stops at the first fault. Beyond the foam_fault checks, every bubble holds
/// its own tag, each held before the loop (a new bubble never takes an old
/// tag), and after 5 settling loops (a foam as built has straight films) the
/// statistics' mean area error stays below 2% of their mean area while at
/// least 20 bubbles are measured. With progress set, a line every 100 loops
/// tells how far a long run has got.
inline CoarseningRun coarsen_checked(FoamMesh& foam, int loop_cap, std::ostream* progress = nullptr) {
  Quarvel::kordal::FoamSimulator sim(&foam);
  configure_like_the_window(sim);
  CoarseningRun run;
  run.fault = foam_fault(foam);
  std::size_t bubbles = foam.face_size();
  int last_change = 0;
  std::vector<std::uint32_t> tags = Quarvel::kordal::sorted_tags(foam);
  while (run.fault.empty() && foam.face_size() > 5 && run.loops < loop_cap) {
    if (foam.face_size() != bubbles) bubbles = foam.face_size(), last_change = run.loops;
    if ((run.stalled = run.loops - last_change >= 20000)) break;
    Quarvel::kordal::idle_step(sim);
    ++run.loops;
    run.t1 += sim.m_t1_count;
    run.t2 += sim.m_t2_count;
    sim.m_t1_count = sim.m_t2_count = 0;
    std::string fault = foam_fault(foam);
    if (fault.empty()) {
      std::vector<std::uint32_t> now = Quarvel::kordal::sorted_tags(foam);
      if (Quarvel::kordal::shared_tag(now)) fault = "two bubbles share a tag";
      else if (!std::includes(tags.begin(), tags.end(), now.begin(), now.end())) fault = "a bubble took a new tag";
      tags = std::move(now);
    }
    if (fault.empty() && run.loops > 5) {
      Quarvel::kordal::FoamStatistics<FoamMesh> stats(&foam);
      stats.update();
      double const share = stats.m_cell_count < 20 ? 0.0 : stats.m_area_error / stats.m_mean_area;
      run.worst_area_error = std::max(run.worst_area_error, share);
      if (!(share < 0.02)) fault = "mean area error " + std::to_string(100.0 * share) + "% of the mean area";
    }
    if (!fault.empty()) run.fault = "after loop " + std::to_string(run.loops) + ": " + fault;
    if (progress && run.loops % 100 == 0) {
      *progress << "  loop " << run.loops << ": " << foam.face_size() << " bubbles, T1 " << run.t1 << " T2 " << run.t2
                << ", worst area error " << 100.0 * run.worst_area_error << "%" << std::endl;
    }
  }
  return run;
}

}  // namespace froth_test

#endif
