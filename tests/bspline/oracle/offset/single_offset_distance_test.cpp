// The offset of one curve with its loops cut out, measured against the curve by dense sampling refined by golden
// sections and by OpenCASCADE's projection, and against OpenCASCADE's exact offset: every point of the offset lies
// on the exact offset and at the distance from the curve, but where two far parts of the curve come nearer than
// twice the distance; every loop handed back lies on the exact offset. Random wavy curves of orders 3 to 8, open
// and closed, near the origin, far from it and tiny, polynomial and rational; and curves whose loops were taken for
// pieces of the offset kept by mistake.
#include <gtest/gtest.h>

#include <Geom2dAPI_ProjectPointOnCurve.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <Standard_Failure.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bspline/offset.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace {

// The offset's accuracy: the span offset strays from the exact offset by up to twice the offset tolerance between
// its test points, and by a little more beside the cusps of a loop it cuts out.
const double kTol = 2 * BStoltab[bstol::offset_tol];
const double kLoopTol = 3 * BStoltab[bstol::offset_tol];

// What one offset call handed back; released on destruction.
struct Offset {
  VOQbsp_curve *cv = nullptr, **pieces = nullptr;
  int count = 0, rc = -99;
  Offset() = default;
  Offset(const Offset &) = delete;
  Offset &operator=(const Offset &) = delete;
  ~Offset() {
    int ignored = 0;
    if (cv) BSfreevoqcv(cv, &ignored);
    for (int i = 0; i < count && pieces; ++i) BSfreevoqcv(pieces[i], &ignored);
    BSdbgfree(pieces);
  }
};

// The minimum of f over [a, b] by golden sections: (argument, value).
template <typename F>
std::pair<double, double> golden(F f, double a, double b) {
  const double g = 0.6180339887498949;
  double x1 = b - g * (b - a), x2 = a + g * (b - a), f1 = f(x1), f2 = f(x2);
  for (int it = 0; it < 100 && b - a > 1e-15 * (std::fabs(a) + std::fabs(b)); ++it) {
    if (f1 < f2)
      b = x2, x2 = x1, f2 = f1, x1 = b - g * (b - a), f1 = f(x1);
    else
      a = x1, x1 = x2, f1 = f2, x2 = a + g * (b - a), f2 = f(x2);
  }
  return f1 < f2 ? std::make_pair(x1, f1) : std::make_pair(x2, f2);
}

// A plane curve of the peer, sampled densely.
struct Sampled {
  Handle(Geom2d_Curve) cv;
  double u0, u1;
  std::vector<double> at;
  std::vector<gp_Pnt2d> pts;
  Sampled(Handle(Geom2d_Curve) c, double a, double b, int n) : cv(c), u0(a), u1(b) {
    for (int i = 0; i <= n; ++i) {
      at.push_back(i == n ? b : a + (b - a) * i / n);
      pts.push_back(cv->Value(at.back()));
    }
  }
  double gap(const gp_Pnt2d &q, double u) const { return q.Distance(cv->Value(u)); }
  // The local minima of the distance from q along the curve, (parameter, distance): the ends, and each sample no
  // farther than its neighbours, refined on the two intervals about it.
  std::vector<std::pair<double, double>> minima(const gp_Pnt2d &q) const {
    const int n = static_cast<int>(at.size());
    std::vector<double> g(n);
    for (int i = 0; i < n; ++i) g[i] = q.Distance(pts[i]);
    std::vector<std::pair<double, double>> out = {{u0, g[0]}, {u1, g[n - 1]}};
    for (int i = 1; i + 1 < n; ++i)
      if (g[i] <= g[i - 1] && g[i] <= g[i + 1])
        out.push_back(golden([&](double u) { return gap(q, u); }, at[i - 1], at[i + 1]));
    return out;
  }
  double nearest(const gp_Pnt2d &q) const {
    double best = INFINITY;
    for (const auto &m : minima(q)) best = std::min(best, m.second);
    return best;
  }
};

// The curve and its exact offset on the side of the result.
struct Judge {
  Handle(Geom2d_BSplineCurve) base;
  std::unique_ptr<Sampled> curve, exact;
  double d;

  Judge(const TestCurve &c, double dist, const VOQbsp_curve *result) : base(cvpairs::Occt(c)), d(dist) {
    const double a = base->FirstParameter(), b = base->LastParameter();
    curve = std::make_unique<Sampled>(base, a, b, 2000);
    double p[3];
    int rc = 0;
    BScveval_n(result, 0.5 * (result->knots[result->order - 1] + result->knots[result->num_poles]), 0, p, &rc);
    double best = INFINITY;
    for (double s : {1.0, -1.0}) {
      auto o = std::make_unique<Sampled>(new Geom2d_OffsetCurve(base, s * d), a, b, 6000);
      const double g = o->nearest(gp_Pnt2d(p[0], p[1]));
      if (g < best) best = g, exact = std::move(o);
    }
  }

  // The distance from q to the curve, and whether a shortfall beyond kTol is excused: the curve runs from q's own
  // foot (a foot at the distance) to the nearer one outside the disc of radius d + kTol about q, so that two far
  // parts of the curve come nearer than twice the distance. Feet: the sampled minima and OpenCASCADE's
  // perpendicular feet.
  double nearest(const gp_Pnt2d &q, bool *excused) const {
    auto feet = curve->minima(q);
    Geom2dAPI_ProjectPointOnCurve proj(q, base);
    for (int i = 1; i <= proj.NbPoints(); ++i) feet.push_back({proj.Parameter(i), proj.Distance(i)});
    std::pair<double, double> near = feet[0];
    for (const auto &f : feet)
      if (f.second < near.second) near = f;
    *excused = false;
    for (const auto &f : feet) {
      if (*excused || near.second >= d - kTol || std::fabs(f.second - d) > kTol) continue;
      for (int i = 0; i <= 400 && !*excused; ++i)
        *excused = curve->gap(q, near.first + (f.first - near.first) * i / 400) > d + kTol;
    }
    return near.second;
  }
};

// The faults of one offset of c by d: points of the result nearer to the curve than d - kTol (not excused) or
// farther than d + kTol, or off the exact offset by more than kTol; points of a loop farther than d + kTol or off
// the exact offset by more than kLoopTol. Counted, with the worst of each and where the first of each lies
// ([curve@position]).
struct Faults {
  int near = 0, far = 0, off = 0;
  double worst = 0;
  std::string where;
  int total() const { return near + far + off; }
  void add(int *kind, const char *name, double by, size_t k, double at) {
    worst = std::max(worst, by);
    if ((*kind)++ > 0) return;
    char s[64];
    std::snprintf(s, sizeof s, " %s by %.3g [%zu@%.3f]", name, by, k, at);
    where += s;
  }
};

Faults judge(const TestCurve &c, double d, const Offset &o) {
  Faults f;
  const Judge j(c, d, o.cv);
  std::vector<const VOQbsp_curve *> all{o.cv};
  for (int i = 0; i < o.count; ++i) all.push_back(o.pieces[i]);
  for (size_t k = 0; k < all.size(); ++k) {
    const VOQbsp_curve *cv = all[k];
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
    for (int i = 0; i <= 200; ++i) {
      double p[3];
      int rc = 0;
      BScveval_n(cv, a + (b - a) * i / 200, 0, p, &rc);
      const gp_Pnt2d q(p[0], p[1]);
      bool excused = false;
      const double nearest = j.nearest(q, &excused), off = j.exact->nearest(q);
      if (nearest > d + kTol) f.add(&f.far, "far", nearest - d, k, i / 200.0);
      if (off > (k == 0 ? kTol : kLoopTol)) f.add(&f.off, "off", off, k, i / 200.0);
      if (k == 0 && nearest < d - kTol && !excused) f.add(&f.near, "near", d - nearest, k, i / 200.0);
    }
  }
  return f;
}

// The offset by d, loop mode 1: to the side of a side point, or (side null) with the normal +z and the side flag
// TRUE.
void offset(const TestCurve &c, double d, const double *side, Offset *o) {
  const double up[3] = {0, 0, 1}, none[3] = {0, 0, 0};
  BSboolean flag = BSTRUE;
  BScvoffsetd(&c.cv, d, side ? side : none, side ? BSFALSE : BSTRUE, 0, 1, &flag, up, &o->cv, &o->count,
              &o->pieces, &o->rc);
}

std::unique_ptr<TestCurve> planar(int order, std::vector<double> poles, std::vector<double> knots, double dx = 0,
                                  double dy = 0, std::vector<double> w = {}) {
  for (size_t i = 0; i < poles.size(); i += 3) poles[i] += dx, poles[i + 1] += dy;
  auto c = std::make_unique<TestCurve>(order, poles, knots, w);
  c->cv.planar = 1;
  return c;
}

// A loop at a bend tighter than the distance with a small loop at its cusp, and a loop whose cusp reaches next to
// the curve, far from the origin and moved to it: each loop lies on the offset and the offset keeps the distance.
TEST(SingleOffsetDistanceOracle, CurvesWhoseLoopsWereTakenForPieces) {
  const std::vector<double> wave = {0.32504339071208843,   0.32356274685327396,  0, 0.59532703984714896,
                                    0.083860705212189163,  0,                    0.81568456843526294,
                                    0.23836567342563389,   0,                    1.020611965363738,
                                    0.033103139374656282,  0,                    1.1725622588442497,
                                    -0.033439542678792483, 0,                    1.3719951844764218,
                                    0.074844098966196954,  0,                    1.5743317495086702,
                                    -0.1081298572507963,   0};
  const std::vector<double> bend = {-1036141.6696274511, -4757971.9404633902, 0, -1036138.7233312008,
                                    -4757968.3269140162, 0, -1036136.9397250933, -4757971.6596764261, 0,
                                    -1036134.9004202933, -4757969.1048756046, 0, -1036131.9267274126,
                                    -4757966.2210910814, 0};
  const std::vector<double> bend_knots = {0, 0, 0, 0.080518699502692956, 0.90673895485867251, 1, 1, 1};
  const struct Row {
    const char *what;
    std::unique_ptr<TestCurve> c;
    double d;
    int loops;
  } rows[] = {
      {"wave", planar(3, wave, {0, 0, 0, 0.27968445470120762, 0.48817912468434183, 0.5284275689343455,
                                0.8872326222381538, 1, 1, 1}),
       0.079098713079695335, 2},
      {"bend far out", planar(3, bend, bend_knots), 0.40584215674040952, 1},
      {"bend at the origin", planar(3, bend, bend_knots, 1036141.6696274511, 4757971.9404633902),
       0.40584215674040952, 1},
  };
  for (const Row &r : rows) {
    Offset o;
    offset(*r.c, r.d, nullptr, &o);
    ASSERT_EQ(o.rc, 0) << r.what;
    EXPECT_EQ(o.count, r.loops) << r.what;
    const Faults f = judge(*r.c, r.d, o);
    EXPECT_EQ(f.total(), 0) << r.what << f.where;
  }
}

// A wavy curve of the given order: poles stepping along x and swinging in y, interior knots of random spacing (now
// and then one of multiplicity order - 2), size about `size`, moved by (ox, oy); rational with weights in
// [0.5, 2] when asked.
std::unique_ptr<TestCurve> wavy(std::mt19937 &rng, int order, double size, double ox, double oy, bool rational) {
  std::uniform_int_distribution<int> extra(1, 8);
  std::uniform_real_distribution<double> jitter(0.6, 1.4), swing(0.2, 1.2), gap(0.2, 2.0), unit(0, 1), wd(0.5, 2);
  const int n = order + extra(rng);
  std::vector<double> poles, w, knots(order, 0.0);
  double x = 0;
  for (int i = 0; i < n; ++i) {
    poles.insert(poles.end(), {x, (i % 2 ? 1 : -1) * swing(rng), 0.0});
    x += jitter(rng);
  }
  for (int i = 0; i < n; ++i) poles[3 * i] *= size / x, poles[3 * i + 1] *= size / x;
  const bool double_knot = unit(rng) < 0.2;
  double t = 0;
  while (static_cast<int>(knots.size()) < n) {
    t += gap(rng);
    const int m = double_knot && knots.size() == static_cast<size_t>(order) ? std::min(order - 2, n - order) : 1;
    for (int j = 0; j < std::max(m, 1); ++j) knots.push_back(t);
  }
  knots.insert(knots.end(), order, t + gap(rng));
  for (int i = 0; rational && i < n; ++i) w.push_back(wd(rng));
  return planar(order, poles, knots, ox, oy, w);
}

// A closed wavy ring of the given order about (ox, oy): poles on a circle of diameter about size, swinging in and
// out, wrapped on uniform knots.
std::unique_ptr<TestCurve> ring(std::mt19937 &rng, int order, double size, double ox, double oy) {
  std::uniform_int_distribution<int> count(6, 12);
  std::uniform_real_distribution<double> swing(0.6, 1.0);
  const int m = count(rng), n = m + order - 1;
  std::vector<double> r(m), poles, knots;
  for (double &x : r) x = swing(rng) * size / 2;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * (i % m) / m;
    poles.insert(poles.end(), {r[i % m] * std::cos(a), r[i % m] * std::sin(a), 0.0});
  }
  for (int i = 0; i < n + order; ++i) knots.push_back(i);
  return planar(order, poles, knots, ox, oy);
}

// The side point just off the middle of c, on the side sign.
void side_point(const TestCurve &c, double sign, double reach, double side[3]) {
  const Handle(Geom2d_BSplineCurve) b = cvpairs::Occt(c);
  gp_Pnt2d p;
  gp_Vec2d t;
  b->D1(0.5 * (b->FirstParameter() + b->LastParameter()), p, t);
  t.Normalize();
  side[0] = p.X() - sign * reach * t.Y(), side[1] = p.Y() + sign * reach * t.X(), side[2] = 0;
}

// Distances up to a sixth of the curve's size, both sides, so that most offsets form loops, many at the ends of
// the curve where no crossing closes them.
TEST(SingleOffsetDistanceOracle, RandomWavyCurves) {
  std::mt19937 rng(133);
  std::uniform_real_distribution<double> share(0.05, 1.0), far(1e5, 1e7);
  const char *kinds[] = {"near the origin", "far out", "tiny", "rational", "closed"};
  int offsets = 0, loops = 0;
  for (int t = 0; t < 60; ++t) {
    const int order = 3 + t % 6, kind = (t / 6) % 5;
    const double size = kind == 2 ? 0.05 : 10.0;
    const double ox = kind == 1 ? far(rng) : 0, oy = kind == 1 ? -far(rng) : 0;
    auto c = kind == 4 ? ring(rng, order, size, ox, oy) : wavy(rng, order, size, ox, oy, kind == 3);
    const double d = share(rng) * size / 6;
    for (double sign : {1.0, -1.0}) {
      double side[3];
      side_point(*c, sign, 1e-3 * size, side);
      Offset o;
      offset(*c, d, side, &o);
      ASSERT_TRUE(o.rc == 0 || o.rc == BSRC_OFFSET_PASSES) << t << " rc " << o.rc;
      ++offsets, loops += o.count;
      const Faults f = judge(*c, d, o);
      EXPECT_EQ(f.total(), 0) << t << " " << kinds[kind] << " order " << order << " side " << sign << " d " << d
                              << f.where;
    }
  }
  EXPECT_GT(2 * loops, offsets);
}

}  // namespace
