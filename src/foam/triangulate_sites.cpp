#include "foam/triangulate_sites.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include <boost/numeric/conversion/cast.hpp>

// The only file that sees the triangulator's header: it defines macros such as
// org, dest and mark that would clash with names elsewhere.
#include <triangle.h>

namespace Quarvel {
namespace kordal {

namespace {

// -- exact orientation ------------------------------------------------------------
//
// The triangulator decides degeneracy with exact arithmetic, so the guard in
// front of it must too: a rounded test could let an exactly collinear set
// through (the triangulator then crashes) or turn away a valid one.

// a * b as hi + lo exactly (fused multiply-add recovers the rounding error).
inline void two_product(double a, double b, double& hi, double& lo) {
  hi = a * b;
  lo = std::fma(a, b, -hi);
}

// a + b as hi + lo exactly.
inline void two_sum(double a, double b, double& hi, double& lo) {
  hi = a + b;
  double const b_virtual = hi - a;
  double const a_virtual = hi - b_virtual;
  lo = (a - a_virtual) + (b - b_virtual);
}

// A sum of doubles held exactly as non-overlapping components of increasing
// magnitude, zero components dropped; its sign is that of its last component.
class ExactSum {
 public:
  void add(double b) {
    double q = b;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_size; ++i) {
      double hi, lo;
      two_sum(q, m_parts[i], hi, lo);
      q = hi;
      if (lo != 0.0) m_parts[kept++] = lo;
    }
    if (q != 0.0 || kept == 0) m_parts[kept++] = q;
    m_size = kept;
  }
  int sign() const {
    double const top = m_parts[m_size - 1];
    return top > 0.0 ? 1 : (top < 0.0 ? -1 : 0);
  }

 private:
  double m_parts[16] = {};
  std::size_t m_size = 0;
};

// Sign of the determinant |b - a, c - a|: + for a counter-clockwise turn, 0
// for three points on one line. Exact while no product overflows or
// underflows.
int orientation(vector3_type const& a, vector3_type const& b, vector3_type const& c) {
  // The determinant expanded into six products; the a.x a.y terms cancel.
  double const factors[6][3] = {{b.x, c.y, 1.0},  {b.x, a.y, -1.0}, {a.x, c.y, -1.0},
                                {b.y, c.x, -1.0}, {b.y, a.x, 1.0},  {a.y, c.x, 1.0}};
  ExactSum sum;
  for (auto const& f : factors) {
    double hi, lo;
    two_product(f[0], f[1], hi, lo);
    sum.add(f[2] * hi);
    sum.add(f[2] * lo);
  }
  return sum.sign();
}

// -- the triangulator's records -------------------------------------------------------

// The triangulator allocates its output arrays with malloc; trifree releases
// them. Input arrays belong to us and are never freed here.
struct TriangulatorOutput {
  triangulateio io{};
  TriangulatorOutput() = default;
  TriangulatorOutput(TriangulatorOutput const&) = delete;
  TriangulatorOutput& operator=(TriangulatorOutput const&) = delete;
  ~TriangulatorOutput() {
    release(io.pointlist);
    release(io.pointattributelist);
    release(io.pointmarkerlist);
    release(io.trianglelist);
    release(io.triangleattributelist);
    release(io.neighborlist);
    release(io.segmentlist);
    release(io.segmentmarkerlist);
    release(io.edgelist);
    release(io.edgemarkerlist);
    release(io.normlist);
    // holelist and regionlist are copies of the input's pointers (null here).
  }
  template <typename T>
  static void release(T* p) {
    if (p) trifree(p);
  }
};

}  // namespace

bool sites_span_plane(std::vector<vector3_type> const& sites) {
  for (auto const& s : sites) {
    if (!std::isfinite(s.x) || !std::isfinite(s.y)) return false;
  }
  if (sites.size() < 3) return false;
  auto const same = [](vector3_type const& p, vector3_type const& q) { return p.x == q.x && p.y == q.y; };
  vector3_type const& a = sites.front();
  std::size_t i = 1;
  while (i < sites.size() && same(sites[i], a)) ++i;
  if (i == sites.size()) return false;
  vector3_type const& b = sites[i];
  // Any site off the line through a and b is distinct from both.
  for (++i; i < sites.size(); ++i) {
    if (orientation(a, b, sites[i]) != 0) return true;
  }
  return false;
}

void delaunay_triangulation(std::vector<vector3_type> const& sites, std::vector<vector3_type>& points,
                            std::vector<int>& corners) {
  points.clear();
  corners.clear();
  if (sites.empty()) return;
  int const n = boost::numeric_cast<int>(sites.size());
  // The triangulator ends the process on fewer than three points and crashes
  // on collinear ones; such sets have no triangles anyway.
  if (!sites_span_plane(sites)) return;

  std::vector<double> xy(2 * sites.size());
  for (std::size_t i = 0; i < sites.size(); ++i) {
    xy[2 * i] = sites[i].x;
    xy[2 * i + 1] = sites[i].y;
  }
  triangulateio input{};
  input.pointlist = xy.data();
  input.numberofpoints = n;
  TriangulatorOutput output;
  TriangulatorOutput voronoi;
  // z: points numbered from 0; D: every triangle Delaunay, with points added
  // on the hull so that every circumcentre lies inside it; Q: quiet. S caps
  // those added points: a hull with a needle-thin corner makes the
  // triangulator add them without end (random sites need about 7 sqrt(n)).
  long long const steiner_cap = std::min(2ll * n + 1000ll, static_cast<long long>(INT_MAX));
  std::string switches = "zDQS" + std::to_string(steiner_cap);
  triangulate(&switches[0], &input, &output.io, &voronoi.io);

  std::size_t const point_count = output.io.numberofpoints > 0 ? std::size_t(output.io.numberofpoints) : 0;
  points.reserve(point_count);
  for (std::size_t i = 0; i < point_count; ++i) {
    points.push_back(vector3_type(output.io.pointlist[2 * i], output.io.pointlist[2 * i + 1], 0.0));
  }
  std::size_t const triangle_count =
      output.io.numberoftriangles > 0 ? std::size_t(output.io.numberoftriangles) : 0;
  corners.assign(output.io.trianglelist, output.io.trianglelist + 3 * triangle_count);
}

void triangulate_sites(std::vector<vector3_type> const& sites, FoamMesh& mesh) {
  mesh.clear();
  std::vector<vector3_type> points;
  std::vector<int> corners;
  delaunay_triangulation(sites, points, corners);
  std::vector<FoamMesh::vertex_handle> table;
  table.reserve(points.size());
  for (auto const& p : points) table.push_back(mesh.add_vertex(p));
  // A corner number outside the table reads as the null handle, which
  // add_face refuses.
  auto const corner = [&](int c) {
    return c >= 0 && std::size_t(c) < table.size() ? table[std::size_t(c)] : FoamMesh::vertex_handle();
  };
  for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
    FoamMesh::vertex_handle const face[3] = {corner(corners[t]), corner(corners[t + 1]), corner(corners[t + 2])};
    mesh.add_face(face, face + 3);
  }
}

}  // namespace kordal
}  // namespace Quarvel
