// Compares two answer dumps of the offsets family (tools/answers/answers.cpp) within the offset tolerance instead of
// bit for bit: an answer that moved by less than offset_tol is the same answer. Lines equal as text are the same;
// for the others every output other than a curve's geometry (rc, counts, tags, each curve's periodic, closed and
// planar flags, the tolerance itself) must be equal, and each curve must lie within the tolerance the line names of
// its counterpart and back, its ends within the tolerance of the counterpart's ends (so that a reversed piece or a
// closed piece with a moved seam counts as changed). Order, pole count, knots and weights may differ.
//
//   compare_offsets OLD NEW [LIST]   a summary line "<differ> <beyond> <first input beyond> <largest deviation
//                                    within, in offset_tol> <beyond by a discrete output>", then up to LIST
//                                    (default 5) of the inputs beyond the tolerance, the largest deviations first
//                                    (discrete differences before all)
//   compare_offsets --self-test      checks the measure on curves whose deviation is known in closed form
//
// It evaluates the curves itself rather than through either side's library, so that a change of the library cannot
// change the measure. Exit status 0 when the comparison ran (whatever it found), 2 when it could not.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Point = std::array<double, 3>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kMaxOrder = 32;

double Dist(const Point &a, const Point &b) {
  const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
  return std::sqrt(x * x + y * y + z * z);
}

struct Curve {
  int order = 0, n = 0;
  bool rational = false;
  std::string flags;  // periodic, phy_closed and planar as written
  std::vector<double> knots, poles, weights;

  double start() const { return knots[order - 1]; }
  double end() const { return knots[n]; }

  // De Boor's algorithm in homogeneous coordinates (the poles of a rational curve are stored weighted).
  Point at(double u) const {
    const int k = order;
    const int s = static_cast<int>(std::upper_bound(knots.begin() + k, knots.begin() + n, u) - knots.begin()) - 1;
    double d[kMaxOrder][4];
    for (int j = 0; j < k; ++j) {
      const int i = s - k + 1 + j;
      d[j][0] = poles[3 * i], d[j][1] = poles[3 * i + 1], d[j][2] = poles[3 * i + 2];
      d[j][3] = rational ? weights[i] : 1.0;
    }
    for (int r = 1; r < k; ++r)
      for (int j = k - 1; j >= r; --j) {
        const int i = s - k + 1 + j;
        const double den = knots[i + k - r] - knots[i], a = den > 0 ? (u - knots[i]) / den : 0.0;
        for (int c = 0; c < 4; ++c) d[j][c] = (1 - a) * d[j - 1][c] + a * d[j][c];
      }
    const double w = d[k - 1][3];
    return {d[k - 1][0] / w, d[k - 1][1] / w, d[k - 1][2] / w};
  }
};

// A chord polygon of a curve, refined until the curve strays from each chord by no more than h where measured (at
// its eighths), so that the distance to the polygon brackets the distance to the curve within h. Chords are grouped
// with their box to skip far groups.
class Polygon {
 public:
  Polygon(const Curve &cv, double h) : cv_(cv), h_(h) {
    for (int s = cv.order - 1; s < cv.n; ++s) {
      const double a = cv.knots[s], b = cv.knots[s + 1];
      if (!(b > a)) continue;
      constexpr int kStart = 8;
      Point p0 = cv.at(a);
      for (int j = 1; j <= kStart; ++j) {
        const double u1 = j == kStart ? b : a + (b - a) * j / kStart, u0 = a + (b - a) * (j - 1) / kStart;
        const Point p1 = cv.at(u1);
        Refine(u0, p0, u1, p1, 0);
        p0 = p1;
      }
    }
    // Two levels of boxes: groups of chords, and groups of those.
    constexpr std::size_t kGroup = 16;
    for (std::size_t g = 0; g < chords_.size(); g += kGroup) {
      Box box{g, std::min(chords_.size(), g + kGroup), {kInf, kInf, kInf}, {-kInf, -kInf, -kInf}};
      for (std::size_t c = box.first; c < box.last; ++c)
        for (const Point *p : {&chords_[c].p0, &chords_[c].p1}) box.Add(*p, *p);
      boxes_.push_back(box);
    }
    for (std::size_t g = 0; g < boxes_.size(); g += kGroup) {
      Box box{g, std::min(boxes_.size(), g + kGroup), {kInf, kInf, kInf}, {-kInf, -kInf, -kInf}};
      for (std::size_t c = box.first; c < box.last; ++c) box.Add(boxes_[c].lo, boxes_[c].hi);
      groups_.push_back(box);
    }
  }

  // The distance from p to the curve: the chords within 2 h of the nearest chord hold the curve's nearest point, and
  // each is searched on the curve itself, so the answer is the distance to a point of the curve. hint is a chord
  // near the previous point asked about (the samples come in order along a curve), which bounds the search at once.
  //
  // A curve point whose parameter is the sample's own is tried too: two answers that differ by rounding share their
  // knots, and their points at one parameter lie closer than a search can resolve where a span is short.
  double DistanceTo(const Point &p, double u, std::size_t *hint) const {
    double nearest = kInf;
    for (std::size_t c = *hint > 2 ? *hint - 2 : 0; c < chords_.size() && c <= *hint + 2; ++c)
      nearest = std::min(nearest, ChordDistance(chords_[c], p));
    std::vector<std::pair<double, std::size_t>> near;
    for (const Box &group : groups_) {
      if (group.DistanceTo(p) > nearest + 2 * h_) continue;
      for (std::size_t b = group.first; b < group.last; ++b) {
        if (boxes_[b].DistanceTo(p) > nearest + 2 * h_) continue;
        for (std::size_t c = boxes_[b].first; c < boxes_[b].last; ++c) {
          const double d = ChordDistance(chords_[c], p);
          if (d <= nearest + 2 * h_) near.emplace_back(d, c);
          nearest = std::min(nearest, d);
        }
      }
    }
    // The curve over a chord lies no nearer than the chord's distance less h: nearest first, the rest as needed.
    std::sort(near.begin(), near.end());
    double best = u >= cv_.start() && u <= cv_.end() ? Dist(cv_.at(u), p) : kInf;
    for (const auto &[d, c] : near) {
      if (d - h_ > best || d > nearest + 2 * h_) break;
      const double e = CurveDistance(chords_[c], p);
      if (e < best) best = e, *hint = c;
    }
    return best;
  }

  bool empty() const { return chords_.empty(); }

 private:
  struct Chord {
    double u0, u1;
    Point p0, p1;
  };
  struct Box {
    std::size_t first, last;
    Point lo, hi;
    void Add(const Point &l, const Point &h) {
      for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], l[i]), hi[i] = std::max(hi[i], h[i]);
    }
    double DistanceTo(const Point &p) const {
      double s = 0;
      for (int i = 0; i < 3; ++i) {
        const double e = std::max({lo[i] - p[i], 0.0, p[i] - hi[i]});
        s += e * e;
      }
      return std::sqrt(s);
    }
  };

  static double ChordDistance(const Chord &c, const Point &p) {
    Point d{}, w{};
    double dd = 0, t = 0;
    for (int i = 0; i < 3; ++i) d[i] = c.p1[i] - c.p0[i], w[i] = p[i] - c.p0[i], dd += d[i] * d[i], t += d[i] * w[i];
    t = dd > 0 ? std::clamp(t / dd, 0.0, 1.0) : 0.0;
    return Dist(p, {c.p0[0] + t * d[0], c.p0[1] + t * d[1], c.p0[2] + t * d[2]});
  }

  void Refine(double u0, const Point &p0, double u1, const Point &p1, int depth) {
    const Chord whole{u0, u1, p0, p1};
    double off = 0;
    for (int j = 1; j < 8; ++j) off = std::max(off, ChordDistance(whole, cv_.at(u0 + j * (u1 - u0) / 8)));
    if (off > h_ && depth < 24) {
      const double um = u0 + 0.5 * (u1 - u0);
      const Point pm = cv_.at(um);
      Refine(u0, p0, um, pm, depth + 1);
      Refine(um, pm, u1, p1, depth + 1);
      return;
    }
    chords_.push_back(whole);
  }

  // The distance from p to the curve over a chord: the nearest of 16 points, then a golden-section search between
  // its neighbours, where the distance has one minimum unless the curve turns back within a sixteenth of a chord
  // (offsets have tiny loops and spikes). A point on or very near the curve sits at a kink of the distance, which
  // the bracket closes on only linearly; projections onto the line through the two nearest curve points found then
  // take the foot to rounding.
  double CurveDistance(const Chord &c, const Point &p) const {
    constexpr int kProbes = 16;
    double best = std::min(Dist(c.p0, p), Dist(c.p1, p));
    int nearest = 0;
    for (int j = 1; j < kProbes; ++j) {
      const double f = Dist(cv_.at(c.u0 + j * (c.u1 - c.u0) / kProbes), p);
      if (f < best) best = f, nearest = j;
    }
    if (nearest == 0) nearest = Dist(c.p0, p) <= Dist(c.p1, p) ? 0 : kProbes;
    constexpr double g = 0.61803398874989485;
    double a = c.u0 + std::max(nearest - 1, 0) * (c.u1 - c.u0) / kProbes;
    double b = nearest + 1 >= kProbes ? c.u1 : c.u0 + (nearest + 1) * (c.u1 - c.u0) / kProbes;
    double x1 = b - g * (b - a), x2 = a + g * (b - a);
    Point q1 = cv_.at(x1), q2 = cv_.at(x2);
    double f1 = Dist(q1, p), f2 = Dist(q2, p);
    for (int it = 0; it < 20; ++it) {
      if (f1 <= f2)
        b = x2, x2 = x1, q2 = q1, f2 = f1, x1 = b - g * (b - a), q1 = cv_.at(x1), f1 = Dist(q1, p);
      else
        a = x1, x1 = x2, q1 = q2, f1 = f2, x2 = a + g * (b - a), q2 = cv_.at(x2), f2 = Dist(q2, p);
    }
    best = std::min({best, f1, f2});
    for (int it = 0; it < 3; ++it) {
      double dd = 0, t = 0;
      for (int i = 0; i < 3; ++i) dd += (q2[i] - q1[i]) * (q2[i] - q1[i]), t += (q2[i] - q1[i]) * (p[i] - q1[i]);
      if (!(dd > 0)) break;
      const double u = std::clamp(x1 + t / dd * (x2 - x1), c.u0, c.u1);
      const Point q = cv_.at(u);
      const double f = Dist(q, p);
      best = std::min(best, f);
      if (f1 > f2)
        x1 = u, q1 = q, f1 = f;
      else
        x2 = u, q2 = q, f2 = f;
    }
    return best;
  }

  const Curve &cv_;
  double h_;
  std::vector<Chord> chords_;
  std::vector<Box> boxes_, groups_;
};

// The largest distance from a's samples (64 a span, both ends included) to b; where is the sample it was met at.
double OneWay(const Curve &a, const Polygon &b, Point *where) {
  double worst = 0;
  std::size_t hint = 0;
  for (int s = a.order - 1; s < a.n; ++s) {
    const double u0 = a.knots[s], u1 = a.knots[s + 1];
    if (!(u1 > u0)) continue;
    for (int j = 0; j <= 64; ++j) {
      const double u = j == 64 ? u1 : u0 + (u1 - u0) * j / 64;
      const Point p = a.at(u);
      const double d = b.DistanceTo(p, u, &hint);
      if (!(d <= worst)) worst = d, *where = p;
      if (std::isnan(d)) return kInf;
    }
  }
  return worst;
}

// The deviation of two curves: both one-way distances and the distances of their ends.
double Deviation(const Curve &a, const Curve &b, double tol, Point *where) {
  // The chords only pick the stretches to search on the curve, so they need not follow it closely: within a
  // hundredth of the tolerance (or rounding far from the origin) keeps the stretches searched few.
  double scale = 0;
  for (const Curve *c : {&a, &b})
    for (double v : c->poles) scale = std::max(scale, std::fabs(v));
  const double h = std::max(1e-2 * tol, 1e-13 * scale);
  const Polygon pa(a, h), pb(b, h);
  if (pa.empty() || pb.empty()) return kInf;
  Point w1{}, w2{};
  const double d1 = OneWay(a, pb, &w1), d2 = OneWay(b, pa, &w2);
  const double e0 = Dist(a.at(a.start()), b.at(b.start())), e1 = Dist(a.at(a.end()), b.at(b.end()));
  *where = d1 >= d2 ? w1 : w2;
  if (e0 > std::max(d1, d2)) *where = a.at(a.start());
  if (e1 > std::max({d1, d2, e0})) *where = a.at(a.end());
  return std::max({d1, d2, e0, e1});
}

// One line's outputs: discrete tokens, the tolerance ("t <value>") and curves ("c <record>").
struct Answer {
  std::string family, input;
  double tol = std::nan("");
  std::vector<std::string> discrete;  // in order, with "c" standing for each curve
  std::vector<Curve> curves;
};

bool ParseDouble(const std::string &s, double *v) {
  char *end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == '\0';
}

bool Parse(const std::string &text, Answer *out) {
  std::istringstream in(text);
  std::vector<std::string> tok;
  for (std::string t; in >> t;) tok.push_back(t);
  if (tok.size() < 2) return false;
  out->family = tok[0], out->input = tok[1];
  std::size_t i = 2;
  auto number = [&](double *v) { return i < tok.size() && ParseDouble(tok[i++], v); };
  while (i < tok.size()) {
    const std::string t = tok[i++];
    if (t == "t") {
      if (!number(&out->tol)) return false;
    } else if (t == "c") {
      Curve c;
      double order, n, rational, f;
      if (!number(&order) || !number(&n) || !number(&rational)) return false;
      if (!(order >= 1 && order <= kMaxOrder && n >= order && n < 1e7)) return false;
      c.order = static_cast<int>(order), c.n = static_cast<int>(n), c.rational = rational != 0;
      for (int k = 0; k < 3; ++k) {
        if (!number(&f)) return false;
        c.flags += tok[i - 1] + " ";
      }
      c.knots.resize(c.n + c.order), c.poles.resize(3 * c.n), c.weights.resize(c.rational ? c.n : 0);
      for (auto *v : {&c.knots, &c.poles, &c.weights})
        for (double &x : *v)
          if (!number(&x)) return false;
      out->discrete.push_back("c " + c.flags);
      out->curves.push_back(std::move(c));
    } else {
      out->discrete.push_back(t);
    }
  }
  return true;
}

struct Verdict {
  double deviation = 0;  // in the line's own units; infinite for a discrete difference
  std::string why;
};

Verdict Compare(const std::string &old_text, const std::string &new_text) {
  Answer a, b;
  if (!Parse(old_text, &a) || !Parse(new_text, &b)) return {kInf, "unreadable line"};
  if (a.input != b.input || a.family != b.family) return {kInf, "lines of different inputs"};
  if (!(a.tol > 0) || std::memcmp(&a.tol, &b.tol, sizeof a.tol) != 0) return {kInf, "tolerances missing or differ"};
  if (a.discrete != b.discrete) {
    std::size_t k = 0;
    while (k < a.discrete.size() && k < b.discrete.size() && a.discrete[k] == b.discrete[k]) ++k;
    auto at = [&](const Answer &x) { return k < x.discrete.size() ? x.discrete[k] : std::string("(end)"); };
    // The first outputs are the rc and the counts.
    auto lead = [](const Answer &x) {
      std::string s;
      for (std::size_t j = 0; j < 3 && j < x.discrete.size(); ++j) s += (j ? " " : "") + x.discrete[j];
      return s;
    };
    return {kInf, "output " + std::to_string(k) + " differs: " + at(a) + " against " + at(b) + " (outputs begin " +
                      lead(a) + " against " + lead(b) + ")"};
  }
  Verdict v;
  for (std::size_t c = 0; c < a.curves.size(); ++c) {
    Point where{};
    const double d = Deviation(a.curves[c], b.curves[c], a.tol, &where);
    if (!(d <= v.deviation)) {
      char buf[160];
      std::snprintf(buf, sizeof buf, "curve %zu: %.3g (%.3g offset_tol) at (%.9g, %.9g, %.9g)", c, d, d / a.tol,
                    where[0], where[1], where[2]);
      v = {std::isnan(d) ? kInf : d, buf};
    }
  }
  return v;
}

int Run(const char *old_path, const char *new_path, int list) {
  std::ifstream fa(old_path), fb(new_path);
  if (!fa || !fb) {
    std::fprintf(stderr, "compare_offsets: cannot read %s or %s\n", old_path, new_path);
    return 2;
  }
  int differ = 0;
  double largest_within = 0;
  struct Beyond {
    double deviation;
    std::string input, why;
  };
  std::vector<Beyond> beyond;
  for (std::string la, lb; std::getline(fa, la) && std::getline(fb, lb);) {
    if (la == lb) continue;
    ++differ;
    Answer a;
    const double tol = Parse(la, &a) ? a.tol : std::nan("");
    const Verdict v = Compare(la, lb);
    if (std::isfinite(v.deviation) && v.deviation <= tol)
      largest_within = std::max(largest_within, v.deviation / tol);
    else
      beyond.push_back({v.deviation, a.input.empty() ? la.substr(0, 20) : a.input, v.why});
  }
  const std::string first = beyond.empty() ? "-" : beyond.front().input;
  const auto discrete =
      std::count_if(beyond.begin(), beyond.end(), [](const Beyond &x) { return std::isinf(x.deviation); });
  std::stable_sort(beyond.begin(), beyond.end(), [](const Beyond &x, const Beyond &y) {
    return x.deviation > y.deviation;
  });
  std::printf("%d %zu %s %.3g %td\n", differ, beyond.size(), first.c_str(), largest_within, discrete);
  for (int k = 0; k < list && k < static_cast<int>(beyond.size()); ++k)
    std::printf("input %s, %s\n", beyond[k].input.c_str(), beyond[k].why.c_str());
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Self-test: deviations known in closed form, through the same text the driver writes.

std::string Hex(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, " %a", v);
  return buf;
}

std::string Text(const Curve &c) {
  std::string s = " c " + std::to_string(c.order) + " " + std::to_string(c.n) + " " + (c.rational ? "1" : "0") +
                  " " + c.flags;
  for (const auto *v : {&c.knots, &c.poles, &c.weights})
    for (double x : *v) s += Hex(x);
  return s;
}

std::string Line(const std::string &discrete, const std::vector<Curve> &curves, double tol = 1e-3) {
  std::string s = "offsets 7 t" + Hex(tol) + " " + discrete;
  for (const Curve &c : curves) s += Text(c);
  return s;
}

// A circular arc of radius r about (cx, cy) from angle a0 to a1 as rational quadratics, `spans` of them.
Curve Arc(double cx, double cy, double r, double a0, double a1, int spans) {
  Curve c;
  c.order = 3, c.n = 2 * spans + 1, c.rational = true, c.flags = "0 0 1 ";
  c.knots = {0, 0, 0};
  for (int s = 1; s < spans; ++s) c.knots.insert(c.knots.end(), {double(s), double(s)});
  c.knots.insert(c.knots.end(), {double(spans), double(spans), double(spans)});
  const double step = (a1 - a0) / spans, wm = std::cos(step / 2);
  for (int j = 0; j < c.n; ++j) {
    const double a = a0 + step * j / 2, w = j % 2 ? wm : 1, rr = j % 2 ? r / wm : r;
    c.poles.insert(c.poles.end(), {w * (cx + rr * std::cos(a)), w * (cy + rr * std::sin(a)), 0});
    c.weights.push_back(w);
  }
  return c;
}

// The segment (x0, y0) -> (x1, y1) as a uniform cubic with `spans` spans (its poles evenly along the segment's
// control polygon of a clamped uniform cubic, so that it is the segment).
Curve Segment(double x0, double y0, double x1, double y1, int spans) {
  Curve c;
  c.order = 4, c.n = spans + 3, c.flags = "0 0 1 ";
  c.knots = {0, 0, 0};
  for (int s = 0; s <= spans; ++s) c.knots.push_back(s);
  c.knots.insert(c.knots.end(), {double(spans), double(spans), double(spans)});
  // Greville abscissae map the poles of a linear function onto the curve.
  for (int j = 0; j < c.n; ++j) {
    const double t = (c.knots[j + 1] + c.knots[j + 2] + c.knots[j + 3]) / 3 / spans;
    c.poles.insert(c.poles.end(), {x0 + t * (x1 - x0), y0 + t * (y1 - y0), 0});
  }
  return c;
}

Curve Reversed(Curve c) {
  std::reverse(c.knots.begin(), c.knots.end());
  for (double &k : c.knots) k = -k;
  std::vector<double> p;
  for (int j = c.n - 1; j >= 0; --j) p.insert(p.end(), c.poles.begin() + 3 * j, c.poles.begin() + 3 * j + 3);
  c.poles = p;
  std::reverse(c.weights.begin(), c.weights.end());
  return c;
}

int SelfTest() {
  int failures = 0;
  const double tol = 1e-3, r = 2.5;
  auto check = [&](const char *what, const std::string &a, const std::string &b, double want, double within = 1e-9) {
    const Verdict v = Compare(a, b);
    const bool ok = std::isinf(want) ? std::isinf(v.deviation) : std::fabs(v.deviation - want) <= within;
    if (!ok) ++failures;
    std::printf("%-4s %-58s measured %.15g, known %.15g\n", ok ? "ok" : "FAIL", what, v.deviation, want);
  };
  const Curve arc = Arc(1e5, -3e4, r, 0.3, 1.9, 1);
  // Concentric arcs lie their radii's difference apart everywhere, however each is split.
  for (double f : {0.5, 2.0})
    check(f < 1 ? "a concentric arc 0.5 tol out, in four spans" : "a concentric arc 2 tol out, in four spans",
          Line("0 1", {arc}), Line("0 1", {Arc(1e5, -3e4, r + f * tol, 0.3, 1.9, 4)}), f * tol);
  // Answers of two builds differ by rounding: the measure must resolve that too, not stop at a fraction of the
  // tolerance.
  check("an arc at the origin 1e-9 out, in three spans", Line("0 1", {Arc(0, 0, r, 0.3, 1.9, 1)}),
        Line("0 1", {Arc(0, 0, r + 1e-9, 0.3, 1.9, 3)}), 1e-9, 1e-13);
  // One way the longer arc is within the shorter's reach only to its end: the way back must find it.
  check("the same arc lengthened by 3 tol of arc", Line("0 1", {arc}),
        Line("0 1", {Arc(1e5, -3e4, r, 0.3, 1.9 + 3 * tol / r, 2)}), 2 * r * std::sin(1.5 * tol / r));
  // A spike of no width off a line: every point of the line is on the spike's polyline, so only the way back from
  // the polyline's samples finds it.
  Curve spike;
  spike.order = 2, spike.n = 5, spike.flags = "0 0 1 ";
  spike.knots = {0, 0, 1, 2, 3, 4, 4};
  spike.poles = {-4, 1, 0, 1, 1, 0, 1, 1 + 3 * tol, 0, 1, 1, 0, 6, 1, 0};
  check("a spike 3 tol high on the same line", Line("0 1", {Segment(-4, 1, 6, 1, 3)}), Line("0 1", {spike}),
        3 * tol);
  check("the same arc reversed", Line("0 1", {arc}), Line("0 1", {Reversed(arc)}),
        2 * r * std::sin(0.8));
  // A bump narrower than a span: a cubic's pole moved by 3 tol moves the curve by 2/3 of that at the knot.
  const Curve seg = Segment(-4, 1, 6, 1, 12);
  for (double f : {1.2, 3.0}) {
    Curve bump = seg;
    bump.poles[3 * 7 + 1] += f * tol;
    check(f < 2 ? "a cubic's pole moved 1.2 tol off its segment" : "a cubic's pole moved 3 tol off its segment",
          Line("0 2 5", {Segment(-4, 1, 6, 1, 3), arc}), Line("0 2 5", {bump, arc}), f * tol * 2 / 3);
  }
  check("a tag differs", Line("0 2 5", {seg, arc}), Line("0 2 6", {seg, arc}), kInf);
  check("the rc differs", Line("0 1", {arc}), Line("-2 1", {arc}), kInf);
  check("a curve fewer", Line("0 2", {seg, arc}), Line("0 1", {seg}), kInf);
  Curve closed = arc;
  closed.flags = "0 1 1 ";
  check("the closed flag differs", Line("0 1", {arc}), Line("0 1", {closed}), kInf);
  check("the tolerance differs", Line("0 1", {arc}), Line("0 1", {arc}, 2e-3), kInf);
  std::printf("compare_offsets: %s\n", failures ? "the self-test FAILED" : "the self-test passed");
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--self-test") return SelfTest();
  if (argc == 3 || argc == 4) return Run(argv[1], argv[2], argc == 4 ? std::atoi(argv[3]) : 5);
  std::fprintf(stderr, "usage: compare_offsets OLD NEW [LIST] | compare_offsets --self-test\n");
  return 2;
}
