// The B-spline library's answers to one fixed set of seeded inputs, one line per input, every double written in
// hexadecimal so that two builds' outputs compare bit for bit (tools/answers.sh builds this against two commits).
//
//   answers FAMILY     FAMILY one of: evaluation roots fitting intersections distances offsets arc_length
//
// A line is "<family> <input number> <outputs...>"; a failed call shows its return code among the outputs, never
// drops the line, so that a changed rc is a differing line too. The inputs depend only on the seeds below. A curve
// is written "c <order> <poles> <rational> <periodic> <closed> <planar> <knots> <poles> [<weights>]" and the offsets
// family's lines carry the offset tolerance as "t <value>", so that tools/answers/compare_offsets.cpp can compare
// them within it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/bspline/curve_fixtures.h"
#include "tools/answers/entry_points.h"

namespace {

// One output line, built up value by value.
class Line {
 public:
  Line(const char *family, int input) { text_ = std::string(family) + " " + std::to_string(input); }
  Line &i(long long v) {
    text_ += " " + std::to_string(v);
    return *this;
  }
  Line &d(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, " %a", v);
    text_ += buf;
    return *this;
  }
  Line &ds(const double *v, long long n) {
    if (!v) return i(-1);
    for (long long k = 0; k < n; ++k) d(v[k]);
    return *this;
  }
  // Marked, to tell it from the discrete outputs around it; a missing curve is -1.
  Line &curve(const VOQbsp_curve *cv) {
    if (!cv) return i(-1);
    text_ += " c";
    i(cv->order).i(cv->num_poles).i(cv->rational).i(cv->periodic).i(cv->phy_closed).i(cv->planar);
    ds(cv->knots, cv->num_poles + cv->order);
    ds(cv->poles, 3LL * cv->num_poles);
    if (cv->rational) ds(cv->weights, cv->num_poles);
    return *this;
  }
  // The tolerance table's entry the call ran with.
  Line &tol(double v) {
    text_ += " t";
    return d(v);
  }
  ~Line() { std::puts(text_.c_str()); }

 private:
  std::string text_;
};

// A random curve: orders 2 to 8, clamped or not, with repeated knots now and then, rational with weights spread
// over 0.5 to 2; planar ones lie in z = 0.
std::unique_ptr<TestCurve> RandomCurve(std::mt19937 &rng, bool planar, bool clamped_only = false) {
  std::uniform_int_distribution<int> order(2, 8), extra(0, 8), coin(0, 3);
  const int k = order(rng), n = k + extra(rng);
  auto c = random_curve(rng, k, n, coin(rng) == 0, clamped_only || coin(rng) != 0, coin(rng) == 0 ? k - 1 : 1);
  if (planar) {
    for (int p = 0; p < c->n(); ++p) c->poles[3 * p + 2] = 0;
    c->cv.planar = 1;
  }
  return c;
}

double Uniform(std::mt19937 &rng, double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }

void Evaluation() {
  std::mt19937 rng(101);
  for (int c = 0; c < 3000; ++c) {
    const auto cv = RandomCurve(rng, false);
    Line line("evaluation", c);
    for (int j = 0; j < 20; ++j) {
      const double u = j == 0 ? cv->start() : j == 1 ? cv->end() : Uniform(rng, cv->start(), cv->end());
      // Each derivative count has a body of its own.
      for (int nder = 0; nder <= 2; ++nder) {
        double out[9] = {};
        int rc = 0;
        BScveval_n(&cv->cv, u, nder, out, &rc);
        line.i(rc).ds(out, 3 * (nder + 1));
      }
    }
  }
}

void Roots() {
  std::mt19937 rng(202);
  for (int s = 0; s < 4000; ++s) {
    const int n = std::uniform_int_distribution<int>(1, 24)(rng);
    std::vector<double> c(n + 1);
    if (s % 2 == 0) {
      for (double &x : c) x = Uniform(rng, -1, 1);
    } else {
      // From known roots, some of them repeated; the series is projected on the Legendre basis here, not by the
      // library's own conversion, which is not what this family compares.
      std::vector<double> roots;
      while (static_cast<int>(roots.size()) < n) {
        const double r = Uniform(rng, -1, 1);
        const int m = std::min(n - static_cast<int>(roots.size()), std::uniform_int_distribution<int>(1, 3)(rng));
        for (int j = 0; j < m; ++j) roots.push_back(r);
      }
      // c_j = (2j + 1) / 2 times the integral of p P_j, by a Chebyshev-node rule: not exact,
      // but both builds are given the same series.
      const int q = 64;
      for (int j = 0; j <= n; ++j) c[j] = 0;
      for (int i = 0; i < q; ++i) {
        const double t = -std::cos(M_PI * (i + 0.5) / q), w = M_PI / q * std::sqrt(1 - t * t);
        double p = 1;
        for (double r : roots) p *= t - r;
        double p0 = 1, p1 = t;
        for (int j = 0; j <= n; ++j) {
          const double pj = j == 0 ? p0 : p1;
          c[j] += (2 * j + 1) / 2.0 * w * p * pj;
          if (j >= 1) {
            const double next = ((2 * j + 1) * t * p1 - j * p0) / (j + 1);
            p0 = p1, p1 = next;
          }
        }
      }
    }
    std::vector<double> roots(n + 1, 0.0);
    int count = 0, rc = 0;
    BSfndrtlgd1(n, c.data(), 1e-12, &count, roots.data(), &rc);
    Line line("roots", s);
    line.i(rc).i(count).ds(roots.data(), count > 0 ? count : 0);
    // The same coefficients read as a polynomial in ascending powers.
    if (n >= 1 && n <= 10 && std::fabs(c[n]) > 1e-6) {
      std::vector<double> re(n, 0.0), im(n, 0.0);
      const std::int16_t deg = static_cast<std::int16_t>(n);
      int prc = 0;
      BSrpoly(&prc, c.data(), &deg, re.data(), im.data());
      line.i(prc).ds(re.data(), n).ds(im.data(), n);
    }
  }
}

void Fitting() {
  std::mt19937 rng(303);
  for (int s = 0; s < 600; ++s) {
    const int n = std::uniform_int_distribution<int>(2, 300)(rng);
    const bool plane = s % 2 == 0;
    std::vector<double> p;
    double a = Uniform(rng, 0, 6), r = Uniform(rng, 0.5, 5), z = 0;
    for (int i = 0; i < n; ++i) {
      a += Uniform(rng, 0.01, 0.3), r += Uniform(rng, -0.1, 0.1), z += plane ? 0 : Uniform(rng, -0.05, 0.1);
      p.insert(p.end(), {r * std::cos(a), r * std::sin(a), z});
    }
    const std::int16_t order = static_cast<std::int16_t>(std::uniform_int_distribution<int>(2, 6)(rng));
    const double tol = std::pow(10.0, -Uniform(rng, 1, 7));
    VOQbsp_curve *cv = nullptr;
    double mean = 0, maxd = 0, maxp[3] = {}, v[3] = {0, 0, 0};
    int idx = 0, rc = 0;
    BSfitratcv(n, p.data(), nullptr, nullptr, nullptr, order, 0, nullptr, 0, 2, 0, 0, v, v, 0, 0, 1, 1, 0, 0.0, 0, 0,
               tol, &cv, &mean, &maxd, &idx, maxp, &rc);
    Line line("fitting", s);
    line.i(rc);
    if (rc == 0) line.curve(cv).d(mean).d(maxd).i(idx).ds(maxp, 3);
    if (cv) BSfreevoqcv(cv, &rc);
  }
}

void Intersections() {
  std::mt19937 rng(404);
  for (int s = 0; s < 1500; ++s) {
    const auto a = RandomCurve(rng, s % 3 != 0), b = RandomCurve(rng, s % 3 != 0);
    double ip[300], i1[100], i2[100], op[600], o1[200], o2[200];
    double *al[6] = {};
    int n_int = 0, n_over = 0, rc = 0;
    BSboolean ia = 0, oa = 0;
    BScvcvint(&a->cv, &b->cv, s % 2, 100, 100, ip, i1, i2, op, o1, o2, &n_int, &n_over, &ia, &oa, &al[0], &al[1],
              &al[2], &al[3], &al[4], &al[5], &rc);
    Line line("intersections", s);
    line.i(rc).i(n_int).i(n_over);
    if (rc == 0) {
      line.ds(ia ? al[0] : ip, 3LL * n_int).ds(ia ? al[1] : i1, n_int).ds(ia ? al[2] : i2, n_int);
      line.ds(oa ? al[3] : op, 6LL * n_over).ds(oa ? al[4] : o1, 2LL * n_over).ds(oa ? al[5] : o2, 2LL * n_over);
    }
    for (double *p : al) BSdbgfree(p);
  }
  for (int s = 0; s < 1500; ++s) {
    const auto c = RandomCurve(rng, s % 2 == 0);
    int rc = 0, n_int = 0, n_over = 0;
    double *f = nullptr, *g = nullptr, *o[4] = {};
    BScv_slfint(&rc, &c->cv, &n_int, &f, &g, &n_over, &o[0], &o[1], &o[2], &o[3]);
    Line line("intersections", 100000 + s);
    line.i(rc).i(n_int).i(n_over);
    if (rc == 0) line.ds(f, n_int).ds(g, n_int).ds(o[0], n_over).ds(o[1], n_over).ds(o[2], n_over).ds(o[3], n_over);
    for (double *p : {f, g, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  }
}

void Distances() {
  std::mt19937 rng(505);
  for (int s = 0; s < 3000; ++s) {
    const auto c = RandomCurve(rng, s % 2 == 0);
    const double shift = s % 5 == 0 ? std::pow(10.0, Uniform(rng, 4, 7)) : 0;
    for (int p = 0; p < c->n(); ++p)
      for (int k = 0; k < 2; ++k) c->poles[3 * p + k] += shift * (c->weights.empty() ? 1 : c->weights[p]);
    const double pt[3] = {shift + Uniform(rng, -12, 12), shift + Uniform(rng, -12, 12), s % 2 ? 0 : Uniform(rng, -3, 3)};
    double par = 0, base[3] = {}, dist = 0;
    int rc = 0;
    BSmdstptcv(&c->cv, pt, &par, base, &dist, &rc);
    Line line("distances", s);
    line.i(rc).d(par).ds(base, 3).d(dist);
    std::int16_t ni = 0, np = 0;
    double *params = nullptr, *intervals = nullptr, md = 0;
    BSmdistptcv(&c->cv, pt, &ni, &np, &params, &md, &intervals, &rc);
    line.i(rc).i(np).i(ni).d(md).ds(params, np).ds(intervals, 2LL * ni);
    BSdbgfree(params);
    BSdbgfree(intervals);
  }
}

void FreeCurve(VOQbsp_curve *&cv) {
  int rc = 0;
  if (cv) BSfreevoqcv(cv, &rc);
  cv = nullptr;
}

// One composite offset of the components at distance d, written as the offsets family's line `id`: rc, counts,
// the pieces with their tags and the loops handed back.
void ChainOffset(int id, const std::vector<std::unique_ptr<TestCurve>> &comps, BSboolean side, double d,
                 std::int16_t option, std::int16_t loop_mode, BSboolean closed) {
  const double up[3] = {0, 0, 1};
  std::vector<const VOQbsp_curve *> cs;
  for (auto &t : comps) cs.push_back(&t->cv);
  const int legs = static_cast<int>(comps.size()), room = 2 * legs + 1, type = BSCMP_ORDINARY;
  std::vector<VOQbsp_curve *> pieces(room, nullptr), loops(room, nullptr);
  std::vector<int> tags(room, 0), per_loop(room, 0), loop_tags(room, 0);
  int m = 0, nl = 0, rc = 0;
  BScmpcvoffl(legs, cs.data(), side, up, &d, BSTRUE, &type, option, loop_mode, closed, &m, pieces.data(), tags.data(),
              &nl, per_loop.data(), loops.data(), loop_tags.data(), &rc);
  Line line("offsets", id);
  line.tol(BStoltab[bstol::offset_tol]).i(rc).i(m).i(nl);
  for (int k = 0; k < m && k < room; ++k) line.i(tags[k]).curve(pieces[k]);
  int total = 0;
  for (int k = 0; k < nl && k < room; ++k) line.i(per_loop[k]), total += per_loop[k];
  for (int k = 0; k < total && k < room; ++k) line.i(loop_tags[k]).curve(loops[k]);
  for (auto *list : {&pieces, &loops})
    for (VOQbsp_curve *&cv : *list) FreeCurve(cv);
}

void Offsets() {
  std::mt19937 rng(606);
  const double up[3] = {0, 0, 1};
  for (int s = 0; s < 900; ++s) {
    const auto c = RandomCurve(rng, true, true);
    const double d = Uniform(rng, 0.05, 2.0);
    const std::int16_t loop_mode = static_cast<std::int16_t>(s % 3);
    BSboolean flag = s % 2 ? BSTRUE : BSFALSE;
    VOQbsp_curve *out = nullptr, **pieces = nullptr;
    int count = 0, rc = 0;
    BScvoffsetd(&c->cv, d, up, BSTRUE, s % 4 == 0 ? 1 : 0, loop_mode, &flag, up, &out, &count, &pieces, &rc);
    Line line("offsets", s);
    line.tol(BStoltab[bstol::offset_tol]).i(rc).i(count).curve(out);
    for (int k = 0; k < count && pieces; ++k) {
      line.curve(pieces[k]);
      FreeCurve(pieces[k]);
    }
    BSdbgfree(pieces);
    FreeCurve(out);
  }
  // Chains of lines: random turns and leg lengths about the distance, each corner option.
  for (int s = 0; s < 900; ++s) {
    const int legs = std::uniform_int_distribution<int>(2, 9)(rng);
    const double d = 1.0;
    std::vector<std::unique_ptr<TestCurve>> comps;
    double x = 0, y = 0, a = Uniform(rng, 0, 2 * M_PI);
    for (int l = 0; l < legs; ++l) {
      const double len = Uniform(rng, 0.3, 4.0);
      const double nx = x + len * std::cos(a), ny = y + len * std::sin(a);
      comps.push_back(std::make_unique<TestCurve>(2, std::vector<double>{x, y, 0, nx, ny, 0},
                                                  std::vector<double>{0, 0, 1, 1}));
      comps.back()->cv.planar = 1;
      x = nx, y = ny;
      a += Uniform(rng, -2.8, 2.8);
    }
    ChainOffset(100000 + s, comps, s % 2 ? BSTRUE : BSFALSE, d, static_cast<std::int16_t>(s % 3),
                static_cast<std::int16_t>(s / 3 % 3), BSFALSE);
  }
  // Digitised polylines as callers hand them over: a noisy wave (open) or a noisy circle (closed) of 40 to 400
  // points, at the origin, far out or tiny, given leg by leg, as one order-2 component (and a last leg) and as
  // two; every corner option, loop modes 1 and 2, both sides.
  for (int s = 0; s < 360; ++s) {
    const int n = std::uniform_int_distribution<int>(40, 400)(rng);
    const bool closed = s % 2 == 1;
    const int where = s / 2 % 3, given = s / 6 % 3;
    const double f = where == 2 ? 0.01 : 1, d = f;
    const double ox = where == 1 ? Uniform(rng, 1e5, 1e7) : 0, oy = where == 1 ? Uniform(rng, -1e6, 1e6) : 0;
    const double r = Uniform(rng, 5, 15), amp = Uniform(rng, 0.2, 3);
    std::vector<double> xy;
    for (int i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / n;
      const double x = closed ? r * std::cos(2 * M_PI * t) : 0.05 * i, y = closed ? r * std::sin(2 * M_PI * t)
                                                                                  : amp * std::sin(0.3 * 0.05 * i);
      xy.push_back(ox + f * (x + Uniform(rng, -1e-4, 1e-4)));
      xy.push_back(oy + f * (y + Uniform(rng, -1e-4, 1e-4)));
    }
    if (closed) xy.push_back(xy[0]), xy.push_back(xy[1]);
    const int points = static_cast<int>(xy.size() / 2);
    // One order-2 component over points [a, b].
    const auto polyline = [&](int a, int b) {
      std::vector<double> poles, knots{0};
      for (int i = a; i <= b; ++i) {
        poles.insert(poles.end(), {xy[2 * i], xy[2 * i + 1], 0});
        knots.push_back(i - a);
      }
      knots.push_back(b - a);
      auto t = std::make_unique<TestCurve>(2, poles, knots);
      t->cv.planar = 1;
      return t;
    };
    std::vector<std::unique_ptr<TestCurve>> comps;
    if (given == 0)
      for (int i = 0; i + 1 < points; ++i) comps.push_back(polyline(i, i + 1));
    else if (given == 1)  // the routine takes two components at least: the last leg apart
      comps.push_back(polyline(0, points - 2)), comps.push_back(polyline(points - 2, points - 1));
    else
      comps.push_back(polyline(0, points / 2)), comps.push_back(polyline(points / 2, points - 1));
    ChainOffset(200000 + s, comps, s / 108 % 2 ? BSTRUE : BSFALSE, d, static_cast<std::int16_t>(s / 18 % 3),
                static_cast<std::int16_t>(1 + s / 54 % 2), closed ? BSTRUE : BSFALSE);
  }
}

void ArcLength() {
  std::mt19937 rng(707);
  for (int s = 0; s < 3000; ++s) {
    const auto c = RandomCurve(rng, s % 2 == 0);
    Line line("arc_length", s);
    for (int j = 0; j < 4; ++j) {
      const double u0 = j == 0 ? c->start() : Uniform(rng, c->start(), c->end());
      const double u1 = j == 0 ? c->end() : Uniform(rng, c->start(), c->end());
      double len = 0;
      int rc = 0;
      BSarclength(&rc, &c->cv, &u0, &u1, &len);
      line.i(rc).d(len);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  const struct {
    const char *name;
    void (*run)();
  } families[] = {{"evaluation", Evaluation}, {"roots", Roots},         {"fitting", Fitting},
                  {"intersections", Intersections}, {"distances", Distances}, {"offsets", Offsets},
                  {"arc_length", ArcLength}};
  if (argc != 2) {
    std::fprintf(stderr, "usage: answers FAMILY\n");
    return 2;
  }
  for (const auto &f : families)
    if (std::strcmp(argv[1], f.name) == 0) {
      f.run();
      return 0;
    }
  std::fprintf(stderr, "answers: no family %s\n", argv[1]);
  return 2;
}
