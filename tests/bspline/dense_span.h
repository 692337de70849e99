// A dense oracle for rational Bezier spans whose weights lie far apart: the span as a polyline that evens the
// weights out (independent of the library's own evening), and distances from it.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

// A rational Bezier span at s by de Casteljau's steps on its weighted poles (Cartesian poles, weights).
inline void bezier_point(const std::vector<double> &poles, const std::vector<double> &w, double s, double out[3]) {
  const std::size_t k = w.size();
  double h[8][4] = {};
  for (std::size_t j = 0; j < k; ++j) {
    for (int c = 0; c < 3; ++c) h[j][c] = poles[3 * j + c] * w[j];
    h[j][3] = w[j];
  }
  for (std::size_t r = 1; r < k; ++r)
    for (std::size_t j = 0; j + r < k; ++j)
      for (int c = 0; c < 4; ++c) h[j][c] = (1 - s) * h[j][c] + s * h[j + 1][c];
  for (int c = 0; c < 3; ++c) out[c] = h[0][c] / h[0][3];
}

// The span as a dense polyline, independent of the search: its weights evened (pole j times r^j, the same curve),
// each half followed from its own end (so that both ends resolve to the least double), every piece halved until
// its middle lies within `fine` of its chord.
inline std::vector<double> dense_span(const std::vector<double> &poles, std::vector<double> w, double fine) {
  const std::size_t k = w.size(), deg = k - 1;
  const double r = std::pow(w[0] / w[deg], 1.0 / deg);
  for (std::size_t j = 0; j < k; ++j) w[j] *= std::pow(r, static_cast<double>(j));
  std::vector<double> out;
  for (int half = 0; half < 2; ++half) {
    std::vector<double> p = poles, v = w, line;
    if (half) {
      for (std::size_t j = 0; j < k; ++j) {
        v[j] = w[deg - j];
        for (int c = 0; c < 3; ++c) p[3 * j + c] = poles[3 * (deg - j) + c];
      }
    }
    double a[3];
    bezier_point(p, v, 0, a);
    line.insert(line.end(), a, a + 3);
    // Pieces of [0, 1/2] from the end, the first split down to the least double.
    std::vector<double> cuts = {0.5};
    for (double s = 0.25; s > 1e-300; s /= 2) cuts.push_back(s);
    cuts.push_back(0);
    for (std::size_t i = cuts.size() - 1; i > 0; --i) {
      std::vector<std::pair<double, double>> todo = {{cuts[i], cuts[i - 1]}};
      while (!todo.empty()) {
        const auto [s0, s1] = todo.back();
        todo.pop_back();
        double q0[3], q1[3], m[3];
        bezier_point(p, v, s0, q0);
        bezier_point(p, v, s1, q1);
        bezier_point(p, v, (s0 + s1) / 2, m);
        const double off = std::hypot(m[0] - (q0[0] + q1[0]) / 2, m[1] - (q0[1] + q1[1]) / 2, m[2] - (q0[2] + q1[2]) / 2);
        if (off > fine && s1 - s0 > 4 * DBL_EPSILON * s1) {
          todo.push_back({(s0 + s1) / 2, s1});
          todo.push_back({s0, (s0 + s1) / 2});
        } else {
          line.insert(line.end(), q1, q1 + 3);
        }
      }
    }
    if (half)
      for (std::size_t i = line.size(); i >= 3; i -= 3) out.insert(out.end(), &line[i - 3], &line[i]);
    else
      out = line;
  }
  return out;
}

// The boxes of the polyline's runs of 64 legs (low x, y, z, high x, y, z each).
inline std::vector<double> run_boxes(const std::vector<double> &line) {
  std::vector<double> boxes;
  const std::size_t legs = line.size() / 3 - 1;
  for (std::size_t r = 0; r < legs; r += 64) {
    double box[6] = {DBL_MAX, DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (std::size_t i = r; i <= std::min(legs, r + 64); ++i)
      for (int c = 0; c < 3; ++c) box[c] = std::fmin(box[c], line[3 * i + c]), box[3 + c] = std::fmax(box[3 + c], line[3 * i + c]);
    boxes.insert(boxes.end(), box, box + 6);
  }
  return boxes;
}

// The distance of p from the polyline; runs whose box lies farther than the nearest so far are passed over.
inline double polyline_distance(const std::vector<double> &line, const std::vector<double> &boxes, const double p[3]) {
  double best = DBL_MAX;
  const std::size_t legs = line.size() / 3 - 1;
  for (std::size_t r = 0; r < legs; r += 64) {
    const double *box = &boxes[6 * (r / 64)];
    double gap = 0;
    for (int c = 0; c < 3; ++c) {
      const double d = p[c] < box[c] ? box[c] - p[c] : p[c] > box[3 + c] ? p[c] - box[3 + c] : 0;
      gap += d * d;
    }
    if (gap > best * best) continue;
    for (std::size_t i = r; i < std::min(legs, r + 64); ++i) {
      const double *a = &line[3 * i], *b = a + 3;
      const double ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
      const double len = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
      const double t =
          len > 0 ? std::fmax(0.0, std::fmin(1.0, (ab[0] * ap[0] + ab[1] * ap[1] + ab[2] * ap[2]) / len)) : 0;
      best = std::fmin(best, std::hypot(ap[0] - t * ab[0], ap[1] - t * ab[1], ap[2] - t * ab[2]));
    }
  }
  return best;
}

// Where two polylines in the xy plane cross: each point with the sine of the angle of the legs there. Runs of 64
// legs whose boxes (run_boxes) miss each other are passed over.
struct PolylineCrossing {
  double x, y, sine;
};
inline std::vector<PolylineCrossing> polyline_crossings(const std::vector<double> &a,
                                                        const std::vector<double> &boxes_a,
                                                        const std::vector<double> &b,
                                                        const std::vector<double> &boxes_b) {
  std::vector<PolylineCrossing> out;
  const std::size_t legs_a = a.size() / 3 - 1, legs_b = b.size() / 3 - 1;
  for (std::size_t ra = 0; ra < legs_a; ra += 64)
    for (std::size_t rb = 0; rb < legs_b; rb += 64) {
      const double *p = &boxes_a[6 * (ra / 64)], *q = &boxes_b[6 * (rb / 64)];
      if (p[0] > q[3] || q[0] > p[3] || p[1] > q[4] || q[1] > p[4]) continue;
      for (std::size_t i = ra; i < std::min(legs_a, ra + 64); ++i)
        for (std::size_t j = rb; j < std::min(legs_b, rb + 64); ++j) {
          const double *s = &a[3 * i], *t = &b[3 * j];
          const double ux = s[3] - s[0], uy = s[4] - s[1], vx = t[3] - t[0], vy = t[4] - t[1];
          const double den = ux * vy - uy * vx, dx = t[0] - s[0], dy = t[1] - s[1];
          if (den == 0) continue;
          const double f = (dx * vy - dy * vx) / den, g = (dx * uy - dy * ux) / den;
          if (f >= 0 && f < 1 && g >= 0 && g < 1)
            out.push_back({s[0] + f * ux, s[1] + f * uy, std::fabs(den) / (std::hypot(ux, uy) * std::hypot(vx, vy))});
        }
    }
  return out;
}
