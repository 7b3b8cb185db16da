#include "solver/foam_system.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foam/film_arc_derivatives.h"
#include "foam/foam_geometry.h"

namespace Quarvel {
namespace solver {

namespace {

using kordal::FoamMesh;
using Vector = FoamMesh::vector3_type;
using kordal::film_arc_derivatives;
using kordal::FilmArcDerivatives;

constexpr double two_pi_over_three = 2.0 * M_PI / 3.0;

std::string bubble_name(FoamMesh::face_type const& f) { return "bubble " + std::to_string(f.m_self.get_idx()); }

}  // namespace

bool FoamSystem::gather(FoamMesh const& foam, std::string& error) {
  if (foam.face_size() == 0) {
    error = "the foam is empty";
    return false;
  }
  std::size_t ordinary = 0, outer = 0;
  for (auto const& f : foam.faces()) (f.m_is_outer ? outer : ordinary) += 1;
  if (outer == 0) {
    error = "the foam has no outer bubble, so no pressure to measure the others against";
    return false;
  }
  if (ordinary < 2) {
    error = ordinary == 0 ? "the foam has no bubble besides the outer one" : "the foam is a single bubble";
    return false;
  }
  m_gamma = foam.m_film_tension;
  if (!(m_gamma > 0.0) || !std::isfinite(m_gamma)) {
    error = "the film tension must be positive";
    return false;
  }

  // Slots: list order; handle index -> slot.
  auto const& vertex_table = foam.kernel().vertex_handle_table();
  auto const& face_table = foam.kernel().face_handle_table();
  auto const& edge_table = foam.kernel().edge_handle_table();
  std::vector<std::int32_t> vertex_slot(vertex_table.size(), -1), face_slot(face_table.size(), -1),
      edge_film(edge_table.size(), -1);
  m_vertex_handle.clear();
  m_position.clear();
  for (auto const& v : foam.vertices()) {
    if (!std::isfinite(v.m_coord.x) || !std::isfinite(v.m_coord.y)) {
      error = "junction " + std::to_string(v.m_self.get_idx()) + " has a non-finite position";
      return false;
    }
    vertex_slot[v.m_self.get_idx()] = static_cast<std::int32_t>(m_vertex_handle.size());
    m_vertex_handle.push_back(v.m_self.get_idx());
    m_position.push_back(v.m_coord.x);
    m_position.push_back(v.m_coord.y);
  }
  m_face_handle.clear();
  m_pressure.clear();
  m_outer.clear();
  m_target.clear();
  double target_sum = 0.0;
  for (auto const& f : foam.faces()) {
    if (!std::isfinite(f.m_pressure) || !std::isfinite(f.m_target_area)) {
      error = bubble_name(f) + " has a non-finite pressure or target area";
      return false;
    }
    unsigned const films = kordal::film_count(f);
    if (films < 3) {
      error = bubble_name(f) + " has " + std::to_string(films) + " films" + (films == 2 ? " (a lens)" : "") +
              ": every bubble needs three or more";
      return false;
    }
    face_slot[f.m_self.get_idx()] = static_cast<std::int32_t>(m_face_handle.size());
    m_face_handle.push_back(f.m_self.get_idx());
    m_pressure.push_back(f.m_pressure);
    m_outer.push_back(f.m_is_outer);
    m_target.push_back(f.m_is_outer ? 0.0 : std::max(0.0, f.m_target_area));
    if (!f.m_is_outer) target_sum += m_target.back();
  }
  double const mean_target = target_sum / double(ordinary);
  if (!(mean_target > 0.0)) {
    error = "no bubble has a positive target area";
    return false;
  }
  m_scale.assign(m_target.size(), 0.0);
  for (std::size_t b = 0; b < m_target.size(); ++b) {
    if (!m_outer[b]) m_scale[b] = 1.0 / std::max(m_target[b], mean_target / 10.0);
  }

  m_films.clear();
  for (auto const& e : foam.edges()) {
    auto const& h0 = foam.get_halfedge(e.m_halfedge0);
    auto const& h1 = foam.get_halfedge(e.m_halfedge1);
    Film film;
    film.m_from = static_cast<std::uint32_t>(vertex_slot[h1.m_destination.get_idx()]);
    film.m_to = static_cast<std::uint32_t>(vertex_slot[h0.m_destination.get_idx()]);
    film.m_left = h0.m_face.is_null() ? -1 : face_slot[h0.m_face.get_idx()];
    film.m_right = h1.m_face.is_null() ? -1 : face_slot[h1.m_face.get_idx()];
    film.m_edge = e.m_self.get_idx();
    edge_film[e.m_self.get_idx()] = static_cast<std::int32_t>(m_films.size());
    m_films.push_back(film);
  }
  auto border_of = [&](polymesh::halfedge_handle h) {
    auto const& half = foam.get_halfedge(h);
    Border b;
    b.m_film = static_cast<std::uint32_t>(edge_film[half.m_edge.get_idx()]);
    b.m_forward = foam.get_edge(half.m_edge).m_halfedge0 == h;
    return b;
  };

  m_loop_begin.assign(1, 0);
  m_loop.clear();
  for (auto const& f : foam.faces()) {
    for (FoamMesh::const_face_halfedge_circulator c(foam, f.m_self); c; ++c) m_loop.push_back(border_of(c.handle()));
    m_loop_begin.push_back(static_cast<std::uint32_t>(m_loop.size()));
  }

  std::size_t const junctions = m_vertex_handle.size();
  m_column.assign(2 * junctions + m_face_handle.size(), -1);
  m_star_junction.clear();
  m_star.clear();
  bool any_fixed = false;
  for (auto const& v : foam.vertices()) {
    if (kordal::is_boundary(v)) {
      any_fixed = true;
      continue;
    }
    unsigned const films = kordal::valency(v);
    if (films != 3) {
      error = "junction " + std::to_string(v.m_self.get_idx()) + " joins " + std::to_string(films) +
              " films: every junction inside the foam needs three";
      return false;
    }
    std::uint32_t const j = static_cast<std::uint32_t>(vertex_slot[v.m_self.get_idx()]);
    m_star_junction.push_back(j);
    for (FoamMesh::const_vertex_halfedge_circulator c(foam, v.m_self); c; ++c) m_star.push_back(border_of(c.handle()));
    m_column[2 * j] = m_column[2 * j + 1] = 0;
  }
  for (std::size_t b = 0; b < m_face_handle.size(); ++b) {
    if (!m_outer[b]) m_column[2 * junctions + b] = 0;
  }
  // The gauge of a closed foam: the first free junction is held, and of the
  // one farthest from it the coordinate across the line between them.
  if (!any_fixed && !m_star_junction.empty()) {
    std::uint32_t const a = m_star_junction.front();
    std::uint32_t far = a;
    double best = -1.0;
    for (std::uint32_t j : m_star_junction) {
      double const dx = m_position[2 * j] - m_position[2 * a], dy = m_position[2 * j + 1] - m_position[2 * a + 1];
      if (dx * dx + dy * dy > best) best = dx * dx + dy * dy, far = j;
    }
    double const dx = std::abs(m_position[2 * far] - m_position[2 * a]);
    double const dy = std::abs(m_position[2 * far + 1] - m_position[2 * a + 1]);
    m_column[2 * a] = m_column[2 * a + 1] = -1;
    m_column[2 * far + (dx >= dy ? 1 : 0)] = -1;
  }
  m_unknowns = 0;
  for (auto& c : m_column) {
    if (c == 0) c = static_cast<std::int32_t>(m_unknowns++);
  }
  if (m_unknowns > std::size_t(std::numeric_limits<int>::max() / 2)) {
    error = "the foam is too large for the solver's indices";
    return false;
  }
  m_film_state.assign(m_films.size(), FilmState());
  m_area.assign(m_face_handle.size(), 0.0);
  m_chord_area.assign(m_face_handle.size(), 0.0);
  m_tangent_sum.assign(2 * m_star_junction.size(), 0.0);
  m_angle_error.assign(m_star_junction.size(), 0.0);
  m_crossed.assign(m_star_junction.size(), 0);
  m_narrowest.assign(m_star_junction.size(), 0.0);
  m_slots.clear();
  return true;
}

void FoamSystem::scatter(FoamMesh& foam) const {
  for (std::size_t j = 0; j < m_vertex_handle.size(); ++j) {
    auto& c = foam.get_vertex(polymesh::vertex_handle(m_vertex_handle[j])).m_coord;
    c.x = m_position[2 * j];
    c.y = m_position[2 * j + 1];
  }
  for (std::size_t b = 0; b < m_face_handle.size(); ++b) {
    if (!m_outer[b]) foam.get_face(polymesh::face_handle(m_face_handle[b])).m_pressure = m_pressure[b];
  }
}

bool FoamSystem::evaluate() {
  for (std::size_t i = 0; i < m_films.size(); ++i) {
    Film const& film = m_films[i];
    FilmState& s = m_film_state[i];
    Vector const P(m_position[2 * film.m_from], m_position[2 * film.m_from + 1], 0.0);
    Vector const Q(m_position[2 * film.m_to], m_position[2 * film.m_to + 1], 0.0);
    double const dx = Q.x - P.x, dy = Q.y - P.y;
    s.m_length = std::sqrt(dx * dx + dy * dy);
    s.m_ux = dx / s.m_length;
    s.m_uy = dy / s.m_length;
    if (film.m_left < 0 || film.m_right < 0) {
      s.m_segment = s.m_deviation = s.m_bend = 0.0;
      continue;
    }
    double const p0 = m_pressure[film.m_left], p1 = m_pressure[film.m_right];
    auto const arc = kordal::film_arc(P, Q, p0, p1, m_gamma);
    s.m_segment = arc.m_segment_area;
    s.m_deviation = arc.m_deviation;
    s.m_bend = kordal::film_bend(P, Q, p0, p1, m_gamma);
  }
  // Areas as compute_area adds them: a fan from the origin of the loop's
  // first border, then each film's segment.
  for (std::size_t b = 0; b < m_face_handle.size(); ++b) {
    if (m_outer[b]) continue;
    auto origin = [&](Border const& e) { return e.m_forward ? m_films[e.m_film].m_from : m_films[e.m_film].m_to; };
    std::uint32_t const first = origin(m_loop[m_loop_begin[b]]);
    double const qx = m_position[2 * first], qy = m_position[2 * first + 1];
    double area = 0.0, chords = 0.0;
    for (std::uint32_t k = m_loop_begin[b]; k < m_loop_begin[b + 1]; ++k) {
      Border const& e = m_loop[k];
      Film const& film = m_films[e.m_film];
      std::uint32_t const o = e.m_forward ? film.m_from : film.m_to;
      std::uint32_t const d = e.m_forward ? film.m_to : film.m_from;
      double const wx = m_position[2 * o], wy = m_position[2 * o + 1];
      double const Ex = m_position[2 * d], Ey = m_position[2 * d + 1];
      double const fan = kordal::fan_triangle(Vector(qx, qy, 0.0), Vector(wx, wy, 0.0), Vector(Ex, Ey, 0.0));
      double const segment = m_film_state[e.m_film].m_segment;
      area += fan;
      area += e.m_forward ? segment : -segment;
      chords += fan;
    }
    m_area[b] = area;
    m_chord_area[b] = chords;
    if (!std::isfinite(area)) return false;
  }
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    double tx[3], ty[3];
    for (int k = 0; k < 3; ++k) {
      Border const& e = m_star[3 * i + k];
      FilmState const& s = m_film_state[e.m_film];
      double const sign = e.m_forward ? 1.0 : -1.0;
      double const ux = sign * s.m_ux, uy = sign * s.m_uy, dev = sign * s.m_deviation;
      double const c = std::cos(dev), sn = std::sin(dev);
      tx[k] = ux * c - uy * sn;
      ty[k] = ux * sn + uy * c;
    }
    m_tangent_sum[2 * i] = tx[0] + tx[1] + tx[2];
    m_tangent_sum[2 * i + 1] = ty[0] + ty[1] + ty[2];
    // The turns from each tangent to the next, counter-clockwise in [0, 2 pi),
    // add up to 2 pi on a sound junction, the circulator's order, and to
    // 4 pi where two films have crossed (a corner below zero).
    double worst = 0.0, turns = 0.0, narrowest = 2.0 * M_PI;
    for (int k = 0; k < 3; ++k) {
      int const n = (k + 1) % 3;
      double turn = std::atan2(tx[k] * ty[n] - ty[k] * tx[n], tx[k] * tx[n] + ty[k] * ty[n]);
      worst = std::max(worst, std::abs(std::abs(turn) - two_pi_over_three));
      if (turn < 0.0) turn += 2.0 * M_PI;
      turns += turn;
      narrowest = std::min(narrowest, turn);
    }
    m_angle_error[i] = worst;
    m_crossed[i] = turns > 3.0 * M_PI;
    m_narrowest[i] = narrowest;
    if (!std::isfinite(m_tangent_sum[2 * i]) || !std::isfinite(m_tangent_sum[2 * i + 1])) return false;
  }
  return true;
}

double FoamSystem::residual_norm() const {
  double sum = 0.0;
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    std::uint32_t const j = m_star_junction[i];
    for (int c = 0; c < 2; ++c) {
      if (m_column[2 * j + c] >= 0) sum += m_tangent_sum[2 * i + c] * m_tangent_sum[2 * i + c];
    }
  }
  for (std::size_t b = 0; b < m_area.size(); ++b) {
    if (m_outer[b]) continue;
    double const r = (m_area[b] - m_target[b]) * m_scale[b];
    sum += r * r;
  }
  return std::sqrt(sum);
}

double FoamSystem::largest_area_residual() const {
  double worst = 0.0;
  for (std::size_t b = 0; b < m_area.size(); ++b) {
    if (!m_outer[b]) worst = std::max(worst, std::abs(m_area[b] - m_target[b]) * m_scale[b]);
  }
  return worst;
}

double FoamSystem::largest_angle_residual() const {
  double worst = 0.0;
  for (double e : m_angle_error) worst = std::max(worst, e);
  return worst;
}

void FoamSystem::system_residual(Eigen::VectorXd& f) const {
  f.setZero(static_cast<Eigen::Index>(m_unknowns));
  std::size_t const junctions = m_vertex_handle.size();
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    std::uint32_t const j = m_star_junction[i];
    for (int c = 0; c < 2; ++c) {
      if (m_column[2 * j + c] >= 0) f[m_column[2 * j + c]] = m_tangent_sum[2 * i + c];
    }
  }
  for (std::size_t b = 0; b < m_area.size(); ++b) {
    std::int32_t const row = m_column[2 * junctions + b];
    if (row >= 0) f[row] = (m_area[b] - m_target[b]) * m_scale[b];
  }
}

// Every entry of the Jacobian, in an order that depends on the topology
// only: sink(row, column, value), rows and columns -1 where not in the system.
template <typename Sink>
void FoamSystem::assemble(Sink&& sink) const {
  std::size_t const junctions = m_vertex_handle.size();
  auto pressure_column = [&](std::int32_t b) { return b < 0 ? -1 : m_column[2 * junctions + std::size_t(b)]; };
  auto derivatives = [&](Film const& film, FilmState const& s) {
    if (film.m_left < 0 || film.m_right < 0) return FilmArcDerivatives{};
    return film_arc_derivatives(s.m_length, m_pressure[film.m_left] - m_pressure[film.m_right], m_gamma);
  };

  // Tangent sums: tau = rot(u, dev) for a film leaving j towards k, with
  // d tau / d r_k = tau_perp (u_perp / L + dev_L u)^T = - d tau / d r_j and
  // d tau / d p_own = tau_perp dev_dp = - d tau / d p_other.
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    std::uint32_t const j = m_star_junction[i];
    std::int32_t const rows[2] = {m_column[2 * j], m_column[2 * j + 1]};
    double own[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
    for (int n = 0; n < 3; ++n) {
      Border const& e = m_star[3 * i + n];
      Film const& film = m_films[e.m_film];
      FilmState const& s = m_film_state[e.m_film];
      FilmArcDerivatives const d = derivatives(film, s);
      double const sign = e.m_forward ? 1.0 : -1.0;
      double const ux = sign * s.m_ux, uy = sign * s.m_uy, dev = sign * s.m_deviation;
      double const dev_L = sign * d.m_deviation_by_length;
      double const c = std::cos(dev), sn = std::sin(dev);
      double const tpx = -(ux * sn + uy * c), tpy = ux * c - uy * sn;  // tau turned a quarter
      double const wx = -uy / s.m_length + dev_L * ux, wy = ux / s.m_length + dev_L * uy;
      double const M[2][2] = {{tpx * wx, tpx * wy}, {tpy * wx, tpy * wy}};
      std::uint32_t const k = e.m_forward ? film.m_to : film.m_from;
      std::int32_t const p_own = pressure_column(e.m_forward ? film.m_left : film.m_right);
      std::int32_t const p_other = pressure_column(e.m_forward ? film.m_right : film.m_left);
      for (int r = 0; r < 2; ++r) {
        for (int q = 0; q < 2; ++q) {
          sink(rows[r], m_column[2 * k + q], M[r][q]);
          own[r][q] -= M[r][q];
        }
        double const tp = r == 0 ? tpx : tpy;
        sink(rows[r], p_own, tp * d.m_deviation_by_dp);
        sink(rows[r], p_other, -tp * d.m_deviation_by_dp);
      }
    }
    for (int r = 0; r < 2; ++r) {
      for (int q = 0; q < 2; ++q) sink(rows[r], m_column[2 * j + q], own[r][q]);
    }
  }

  // Areas: the polygon's shoelace gradient and each segment's, scaled.
  for (std::size_t b = 0; b < m_face_handle.size(); ++b) {
    if (m_outer[b]) continue;
    std::int32_t const row = m_column[2 * junctions + b];
    double const scale = m_scale[b];
    for (std::uint32_t n = m_loop_begin[b]; n < m_loop_begin[b + 1]; ++n) {
      Border const& e = m_loop[n];
      Film const& film = m_films[e.m_film];
      FilmState const& s = m_film_state[e.m_film];
      std::uint32_t const o = e.m_forward ? film.m_from : film.m_to;
      std::uint32_t const t = e.m_forward ? film.m_to : film.m_from;
      double const wx = m_position[2 * o], wy = m_position[2 * o + 1];
      double const Ex = m_position[2 * t], Ey = m_position[2 * t + 1];
      FilmArcDerivatives const d = derivatives(film, s);
      // The own segment's change with L, times the own chord direction: the
      // same either way round (both signs turn).
      double const gx = d.m_area_by_length * s.m_ux, gy = d.m_area_by_length * s.m_uy;
      sink(row, m_column[2 * o], scale * (-0.5 * Ey - gx));
      sink(row, m_column[2 * o + 1], scale * (0.5 * Ex - gy));
      sink(row, m_column[2 * t], scale * (0.5 * wy + gx));
      sink(row, m_column[2 * t + 1], scale * (-0.5 * wx + gy));
      std::int32_t const p_own = pressure_column(e.m_forward ? film.m_left : film.m_right);
      std::int32_t const p_other = pressure_column(e.m_forward ? film.m_right : film.m_left);
      sink(row, p_own, scale * d.m_area_by_dp);
      sink(row, p_other, -scale * d.m_area_by_dp);
    }
  }
}

void FoamSystem::jacobian(SparseMatrix& J) {
  m_pattern_changed = m_slots.empty() || J.rows() != Eigen::Index(m_unknowns) || J.nonZeros() == 0;
  if (m_pattern_changed) {
    std::vector<Eigen::Triplet<double, int>> entries;
    assemble([&](std::int32_t r, std::int32_t c, double) {
      if (r >= 0 && c >= 0) entries.emplace_back(r, c, 0.0);
    });
    J.resize(Eigen::Index(m_unknowns), Eigen::Index(m_unknowns));
    J.setFromTriplets(entries.begin(), entries.end());
    J.makeCompressed();
    m_slots.clear();
    m_slots.reserve(entries.size());
    int const* outer = J.outerIndexPtr();
    int const* inner = J.innerIndexPtr();
    for (auto const& t : entries) {
      int const* first = inner + outer[t.col()];
      int const* last = inner + outer[t.col() + 1];
      m_slots.push_back(int(std::lower_bound(first, last, t.row()) - inner));
    }
    m_diagonal.resize(m_unknowns);
    for (std::size_t c = 0; c < m_unknowns; ++c) {
      int const* first = inner + outer[c];
      int const* last = inner + outer[c + 1];
      int const* at = std::lower_bound(first, last, int(c));
      m_diagonal[c] = at != last && *at == int(c) ? int(at - inner) : -1;
    }
    m_is_area_row.assign(m_unknowns, false);
    for (std::size_t b = 0; b < m_face_handle.size(); ++b) {
      std::int32_t const row = m_column[2 * m_vertex_handle.size() + b];
      if (row >= 0) m_is_area_row[std::size_t(row)] = true;
    }
  }
  double* values = J.valuePtr();
  std::fill(values, values + J.nonZeros(), 0.0);
  std::size_t k = 0;
  assemble([&](std::int32_t r, std::int32_t c, double v) {
    if (r >= 0 && c >= 0) values[m_slots[k++]] += v;
  });
}

void FoamSystem::damp(SparseMatrix& J, double lambda) const {
  double* values = J.valuePtr();
  for (std::size_t c = 0; c < m_diagonal.size(); ++c) {
    if (m_diagonal[c] < 0) continue;
    double& d = values[m_diagonal[c]];
    double const size = std::abs(d) > 0.0 ? std::abs(d) : 1.0;
    if (!m_is_area_row[c]) d -= lambda * size;
  }
}

void FoamSystem::step_from_saved(Eigen::VectorXd const& dx, double alpha) {
  std::size_t const junctions = m_vertex_handle.size();
  for (std::size_t i = 0; i < 2 * junctions; ++i) {
    m_position[i] = m_column[i] >= 0 ? m_saved_position[i] + alpha * dx[m_column[i]] : m_saved_position[i];
  }
  for (std::size_t b = 0; b < m_pressure.size(); ++b) {
    std::int32_t const c = m_column[2 * junctions + b];
    m_pressure[b] = c >= 0 ? m_saved_pressure[b] + alpha * dx[c] : m_saved_pressure[b];
  }
}

void FoamSystem::record_guards() {
  m_area_floor.resize(m_area.size());
  for (std::size_t b = 0; b < m_area.size(); ++b) m_area_floor[b] = std::min(0.0, m_area[b]);
  m_chord_floor.resize(m_area.size());
  for (std::size_t b = 0; b < m_area.size(); ++b) m_chord_floor[b] = std::min(0.0, m_chord_area[b]);
  m_bend_before.resize(m_film_state.size());
  for (std::size_t i = 0; i < m_film_state.size(); ++i) m_bend_before[i] = m_film_state[i].m_bend;
  // A junction with a corner this narrow may cross and uncross on the way:
  // a tiny bubble's corner as a foam is built, or one that is crossed.
  constexpr double narrow_corner = 0.1;
  m_may_cross.resize(m_crossed.size());
  for (std::size_t i = 0; i < m_crossed.size(); ++i) m_may_cross[i] = m_crossed[i] || m_narrowest[i] <= narrow_corner;
  m_tangent_before.resize(m_star_junction.size());
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) m_tangent_before[i] = tangent_sum_square(i);
  m_area_residual_before.resize(m_area.size());
  for (std::size_t b = 0; b < m_area.size(); ++b) m_area_residual_before[b] = scaled_area_square(b);
}

double FoamSystem::tangent_sum_square(std::size_t star) const {
  double const x = m_tangent_sum[2 * star], y = m_tangent_sum[2 * star + 1];
  return x * x + y * y;
}

double FoamSystem::scaled_area_square(std::size_t b) const {
  double const r = m_outer[b] ? 0.0 : (m_area[b] - m_target[b]) * m_scale[b];
  return r * r;
}

bool FoamSystem::inside_out(std::size_t b) const {
  if (m_outer[b]) return false;
  if (!(m_area[b] >= m_area_floor[b])) return true;
  return m_loop_begin[b + 1] - m_loop_begin[b] == 3 && !(m_chord_area[b] >= m_chord_floor[b]);
}

bool FoamSystem::newly_crossed(std::size_t star) const { return m_crossed[star] && !m_may_cross[star]; }

bool FoamSystem::bent_further_past_half_circle(std::size_t film) const {
  double const bend = m_film_state[film].m_bend;
  return !(bend < 1.0 || bend <= m_bend_before[film]);
}

bool FoamSystem::guards_hold() const {
  for (std::size_t b = 0; b < m_area.size(); ++b) {
    if (inside_out(b)) return false;
  }
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    if (newly_crossed(i)) return false;
  }
  for (std::size_t i = 0; i < m_film_state.size(); ++i) {
    if (bent_further_past_half_circle(i)) return false;
  }
  return true;
}

void FoamSystem::begin_local_step() {
  m_junction_part.assign(m_vertex_handle.size(), 1.0);
  m_bubble_part.assign(m_pressure.size(), 1.0);
}

void FoamSystem::step_locally(Eigen::VectorXd const& dx) {
  std::size_t const junctions = m_vertex_handle.size();
  for (std::size_t i = 0; i < 2 * junctions; ++i) {
    std::int32_t const c = m_column[i];
    m_position[i] = c >= 0 ? m_saved_position[i] + m_junction_part[i / 2] * dx[c] : m_saved_position[i];
  }
  for (std::size_t b = 0; b < m_pressure.size(); ++b) {
    std::int32_t const c = m_column[2 * junctions + b];
    m_pressure[b] = c >= 0 ? m_saved_pressure[b] + m_bubble_part[b] * dx[c] : m_saved_pressure[b];
  }
}

std::size_t FoamSystem::shorten_failing_places(double factor) {
  // Worse than before and off by more than this (a tangent sum of 0.01, an
  // area 1% of its scale) is failing: smaller rises are the coupling of a
  // good step, which the whole norm judges.
  constexpr double margin = 1e-4;
  m_failing_junction.assign(m_vertex_handle.size(), 0);
  m_failing_bubble.assign(m_pressure.size(), 0);
  auto fail_bubble = [&](std::size_t b) {
    m_failing_bubble[b] = 1;
    for (std::uint32_t k = m_loop_begin[b]; k < m_loop_begin[b + 1]; ++k) {
      Film const& film = m_films[m_loop[k].m_film];
      m_failing_junction[film.m_from] = m_failing_junction[film.m_to] = 1;
    }
  };
  for (std::size_t b = 0; b < m_area.size(); ++b) {
    if (m_outer[b]) continue;
    double const r2 = scaled_area_square(b);
    if (inside_out(b) || (r2 > m_area_residual_before[b] && r2 > margin)) fail_bubble(b);
  }
  for (std::size_t i = 0; i < m_film_state.size(); ++i) {
    if (!bent_further_past_half_circle(i)) continue;
    Film const& film = m_films[i];
    m_failing_junction[film.m_from] = m_failing_junction[film.m_to] = 1;
    if (film.m_left >= 0) m_failing_bubble[film.m_left] = 1;
    if (film.m_right >= 0) m_failing_bubble[film.m_right] = 1;
  }
  for (std::size_t i = 0; i < m_star_junction.size(); ++i) {
    double const t = tangent_sum_square(i);
    bool const crossed = newly_crossed(i);
    if (!crossed && !(t > m_tangent_before[i] && t > margin)) continue;
    m_failing_junction[m_star_junction[i]] = 1;
    for (int k = 0; k < 3; ++k) {
      Film const& film = m_films[m_star[3 * i + k].m_film];
      // The far ends of its films turn them too.
      if (crossed) m_failing_junction[film.m_from] = m_failing_junction[film.m_to] = 1;
      if (film.m_left >= 0) m_failing_bubble[film.m_left] = 1;
      if (film.m_right >= 0) m_failing_bubble[film.m_right] = 1;
    }
  }
  std::size_t shortened = 0;
  for (std::size_t j = 0; j < m_junction_part.size(); ++j) {
    if (m_failing_junction[j] && m_junction_part[j] > 0.0) m_junction_part[j] *= factor, ++shortened;
  }
  for (std::size_t b = 0; b < m_bubble_part.size(); ++b) {
    if (m_failing_bubble[b] && !m_outer[b] && m_bubble_part[b] > 0.0) m_bubble_part[b] *= factor, ++shortened;
  }
  return shortened;
}

double FoamSystem::smallest_step_part() const {
  double smallest = 1.0;
  for (double p : m_junction_part) smallest = std::min(smallest, p);
  for (double p : m_bubble_part) smallest = std::min(smallest, p);
  return smallest;
}

void FoamSystem::short_films(double threshold, std::vector<polymesh::edge_handle>& out) const {
  out.clear();
  for (std::size_t i = 0; i < m_films.size(); ++i) {
    if (m_films[i].m_left >= 0 && m_films[i].m_right >= 0 && m_film_state[i].m_length <= threshold) {
      out.push_back(polymesh::edge_handle(m_films[i].m_edge));
    }
  }
}

}  // namespace solver
}  // namespace Quarvel
