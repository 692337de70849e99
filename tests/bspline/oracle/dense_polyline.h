// A polyline that follows a plane curve within 1e-7 (near the origin), for checks that must not lean on a peer's
// sampling of the curve's parameter: a rational curve whose weights spread far runs through most of its points
// within a tiny part of its range, where the peers' searches (which start from evenly spaced parameters) miss them.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <vector>

namespace dense {

// x, y pairs, with the boxes of runs of kRun legs that let a distance pass over far runs.
constexpr std::size_t kRun = 64;
constexpr std::size_t kMostPoints = 1 << 21;
struct Polyline {
  std::vector<double> xy;
  std::vector<double> boxes;  // min x, min y, max x, max y of each run

  void insert(std::initializer_list<double> p) { xy.insert(xy.end(), p); }
  bool empty() const { return xy.empty(); }
  void close() {
    boxes.clear();
    for (std::size_t i = 0; i + 3 < xy.size(); i += 2 * kRun) {
      double box[4] = {xy[i], xy[i + 1], xy[i], xy[i + 1]};
      for (std::size_t j = i; j < std::min(xy.size(), i + 2 * kRun + 2); j += 2)
        box[0] = std::min(box[0], xy[j]), box[1] = std::min(box[1], xy[j + 1]), box[2] = std::max(box[2], xy[j]),
        box[3] = std::max(box[3], xy[j + 1]);
      boxes.insert(boxes.end(), box, box + 4);
    }
  }
};

// The points of at over [a, b] after pa (at a) up to pb (at b), halved until each piece's middle lies within
// 1e-7 of its chord (more, by 1e-12 of its coordinates, far from the origin).
inline void AddPiece(const std::function<void(double, double *)> &at, double a, double b, const double pa[2],
                     const double pb[2], Polyline &out, std::vector<double> *params, int depth = 0) {
  double m[2];
  at(0.5 * (a + b), m);
  const double off = std::hypot(m[0] - 0.5 * (pa[0] + pb[0]), m[1] - 0.5 * (pa[1] + pb[1]));
  // Far from the origin the points are no finer than their rounding; a point that is not finite ends the halving
  // there (a NaN would halve every piece down to the depth limit); and no polyline grows past kMostPoints.
  const double fine = 1e-7 + 1e-12 * std::max(std::fabs(m[0]), std::fabs(m[1]));
  if (depth >= 48 || !(off >= fine) || out.xy.size() >= 2 * kMostPoints) {
    out.insert({pb[0], pb[1]});
    if (params) params->push_back(b);
    return;
  }
  AddPiece(at, a, 0.5 * (a + b), pa, m, out, params, depth + 1);
  AddPiece(at, 0.5 * (a + b), b, m, pb, out, params, depth + 1);
}

// The polyline of at over the pieces between consecutive breaks (at is smooth on each; at(u, p) writes x, y),
// with the parameters of its points when asked. A piece is halved at least `split` times, so that a curve that
// turns back inside it is followed.
inline Polyline Follow(const std::function<void(double, double *)> &at, const std::vector<double> &breaks,
                       std::vector<double> *params = nullptr, int split = 4) {
  Polyline out;
  for (std::size_t i = 0; i + 1 < breaks.size(); ++i) {
    if (!(breaks[i] < breaks[i + 1])) continue;
    const int parts = 1 << split;
    for (int j = 0; j < parts; ++j) {
      const double a = breaks[i] + (breaks[i + 1] - breaks[i]) * j / parts;
      const double b = j + 1 == parts ? breaks[i + 1] : breaks[i] + (breaks[i + 1] - breaks[i]) * (j + 1) / parts;
      double pa[2], pb[2];
      at(a, pa);
      at(b, pb);
      if (out.empty()) {
        out.insert({pa[0], pa[1]});
        if (params) params->push_back(a);
      }
      AddPiece(at, a, b, pa, pb, out, params);
    }
  }
  out.close();
  return out;
}

// The distance of (x, y) from the polyline.
inline double Distance(const Polyline &p, double x, double y) {
  double best = INFINITY;
  for (std::size_t r = 0; r < p.boxes.size() / 4; ++r) {
    const double *box = &p.boxes[4 * r];
    const double dx = std::max({box[0] - x, x - box[2], 0.0}), dy = std::max({box[1] - y, y - box[3], 0.0});
    if (dx * dx + dy * dy >= best) continue;
    const std::size_t end = std::min(p.xy.size(), 2 * kRun * (r + 1) + 2);
    for (std::size_t i = 2 * kRun * r; i + 3 < end; i += 2) {
      const double ax = p.xy[i], ay = p.xy[i + 1], bx = p.xy[i + 2] - ax, by = p.xy[i + 3] - ay;
      const double len = bx * bx + by * by;
      const double t = len > 0 ? std::clamp(((x - ax) * bx + (y - ay) * by) / len, 0.0, 1.0) : 0.0;
      const double ex = x - ax - t * bx, ey = y - ay - t * by;
      best = std::min(best, ex * ex + ey * ey);
    }
  }
  return std::sqrt(best);
}

}  // namespace dense
