// The one-pass offset of a composite curve: chains of lines, fillets and transitions offset to both sides, judged
// by the pieces' ends, tags and gaps; the curve extension by a length; failures that must leave nothing behind.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kZ[3] = {0, 0, 1};

std::unique_ptr<TestCurve> arc(double x0, double y0, double cx, double cy, double x1, double y1) {
  // A quarter circle from (x0, y0) to (x1, y1) about its centre: the middle pole is the corner of the tangents.
  const double mx = x0 + x1 - cx, my = y0 + y1 - cy;
  return std::make_unique<TestCurve>(3, std::vector<double>{x0, y0, 0, mx, my, 0, x1, y1, 0},
                                     std::vector<double>{0, 0, 0, 1, 1, 1},
                                     std::vector<double>{1, std::sqrt(0.5), 1});
}
std::unique_ptr<TestCurve> seg(double x0, double y0, double x1, double y1) { return line({x0, y0, x1, y1, 0}); }

struct Offset {
  int rc = 0, m = -1;
  VOQbsp_curve *out[256] = {};
  int tags[256] = {};
  ~Offset() {
    for (VOQbsp_curve *cv : out)
      if (cv) BSfreevoqcv(cv, &rc);
  }
  void point(int k, bool at_end, double p[3]) const {
    const VOQbsp_curve &c = *out[k];
    ref_point(c, at_end ? c.knots[c.num_poles] : c.knots[c.order - 1], p);
  }
  // The largest gap between consecutive pieces (around the seam too when closed).
  double gap(bool closed) const {
    double g = 0;
    for (int k = 0; k + 1 < m + (closed ? 1 : 0); ++k) {
      double e[3], s[3];
      point(k, true, e), point((k + 1) % m, false, s);
      g = std::max(g, std::hypot(e[0] - s[0], e[1] - s[1]));
    }
    return g;
  }
};

std::unique_ptr<Offset> offset(const std::vector<const TestCurve *> &cs, std::vector<int> types,
                               std::vector<double> d, int side, std::int16_t option, std::int16_t closed) {
  auto o = std::make_unique<Offset>();
  std::vector<const VOQbsp_curve *> c;
  std::vector<int> order;
  for (const TestCurve *t : cs) order.push_back(static_cast<int>(c.size())), c.push_back(&t->cv);
  BScmpcvoff1(static_cast<int>(c.size()), c.data(), types.data(), order.data(), side, kZ, d.data(), option, closed,
              &o->m, o->out, o->tags, &o->rc);
  return o;
}

// The centre and radius of the circle through a piece's start, middle and end; the largest miss of 50 samples.
double circle_miss(const VOQbsp_curve &c, double centre[2], double *r) {
  double p[3][3];
  const double a = c.knots[c.order - 1], b = c.knots[c.num_poles];
  for (int k = 0; k < 3; ++k) ref_point(c, a + k * (b - a) / 2, p[k]);
  const double bx = p[1][0] - p[0][0], by = p[1][1] - p[0][1], cx = p[2][0] - p[0][0], cy = p[2][1] - p[0][1];
  const double d = 2 * (bx * cy - by * cx), b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  centre[0] = p[0][0] + (cy * b2 - by * c2) / d, centre[1] = p[0][1] + (bx * c2 - cx * b2) / d;
  *r = std::hypot(p[0][0] - centre[0], p[0][1] - centre[1]);
  double miss = 0;
  for (int k = 0; k <= 50; ++k) {
    double q[3];
    ref_point(c, a + k * (b - a) / 50, q);
    miss = std::max(miss, std::fabs(std::hypot(q[0] - centre[0], q[1] - centre[1]) - *r));
  }
  return miss;
}

int closing_calls = 0;
void count_closing(const char *lname, int *) { closing_calls += std::strcmp(lname, "bscmpoffcls") == 0; }

const TestCurve *kA, *kB, *kC, *kD, *kP, *kF1, *kF, *kF2, *kQ, *kT2, *kT3, *kR, *kQtop, *kV1, *kV2, *kV3;
void make_curves() {
  static auto a = seg(0, 0, 10, 0), b = seg(10, 0, 10, 10), c = seg(10, 10, 0, 10), d = seg(0, 10, 0, 0);
  // Three coincident poles: a curve of two degenerate pieces, whose offset vanishes.
  static auto p = std::make_unique<TestCurve>(2, std::vector<double>{10, 0, 0, 10, 0, 0, 10, 0, 0},
                                              std::vector<double>{0, 0, 0.5, 1, 1});
  static auto f1 = seg(0, 0, 9, 0), f = arc(9, 0, 9, 1, 10, 1), f2 = seg(10, 1, 10, 10);
  static auto q = std::make_unique<TestCurve>(3, std::vector<double>{10, 1, 0, 10, 5, 0, 12, 10, 0},
                                              std::vector<double>{0, 0, 0, 1, 1, 1});
  static auto t2 = seg(10, 0, 20, 0), t3 = seg(20, 0, 30, 0), r = seg(10, 0, 0, 0), qtop = seg(12, 10, 0, 10);
  kA = a.get(), kB = b.get(), kC = c.get(), kD = d.get(), kP = p.get(), kF1 = f1.get(), kF = f.get();
  // A bend turning down into the origin, back up-left along a leg shorter than the distance, then right along a
  // line: both corners turn right, the bend and the line together turn left.
  static auto v1 = arc(2, 2, 2, 0, 0, 0), v2 = seg(0, 0, -0.25, 0.25), v3 = seg(-0.25, 0.25, 5, 0.25);
  kF2 = f2.get(), kQ = q.get(), kT2 = t2.get(), kT3 = t3.get(), kR = r.get(), kQtop = qtop.get();
  kV1 = v1.get(), kV2 = v2.get(), kV3 = v3.get();
}

struct Row {
  const char *name;
  std::vector<const TestCurve **> curves;
  std::vector<int> types;
  std::vector<double> d;
  int side;
  std::int16_t option, closed;
  int rc;
  std::vector<int> tags;
  std::vector<std::vector<double>> ends;  // each piece's end in xy (empty: not judged)
  double gap;                             // largest gap between consecutive pieces
  int arc;                                // piece that must be a circle: centre (cx, cy) unless NaN, radius r
  double cx = 0, cy = 0, r = 0;
  int closings = 0;                       // calls of the closing joint
};

TEST(CompositeOffset, ChainsJoinTagAndClose) {
  make_curves();
  const double n = kNaN;
  const Row rows[] = {
      {"right angle, mitre", {&kA, &kB}, {51, 51}, {1, 1}, 1, 0, 0, 0, {0, 1}, {{11, -1}, {11, 10}}, 1e-12, -1},
      {"right angle, arc", {&kA, &kB}, {51, 51}, {1, 1}, 1, 1, 0, 0, {0, -63, 1}, {{10, -1}, {11, 0}, {11, 10}},
       1e-12, 1, 10, 0, 1},
      {"square outwards", {&kA, &kB, &kC, &kD}, {51, 51, 51, 51}, {1, 1, 1, 1}, 1, 0, 1, 0, {0, 1, 2, 3},
       {{11, -1}, {11, 11}, {-1, 11}, {-1, -1}}, 1e-12, -1, 0, 0, 0, 1},
      {"square inwards", {&kA, &kB, &kC, &kD}, {51, 51, 51, 51}, {1, 1, 1, 1}, -1, 0, 1, 0, {0, 1, 2, 3},
       {{9, 1}, {9, 9}, {1, 9}, {1, 1}}, 1e-12, -1, 0, 0, 0, 1},
      {"zero distances copy", {&kA, &kB}, {51, 51}, {0, 0}, 1, 0, 0, 0, {0, 1}, {{10, 0}, {10, 10}}, 1e-12, -1},
      {"vanished middle left out", {&kA, &kP, &kB}, {51, 51, 51}, {1, 1, 1}, 1, 0, 0, 0, {0, 2},
       {{11, -1}, {11, 10}}, 1e-12, -1},
      {"vanished last left out", {&kA, &kB, &kP}, {51, 51, 51}, {1, 1, 1}, 1, 0, 0, 0, {0, 1}, {}, 1e-12, -1},
      {"fillet between lines", {&kF1, &kF, &kF2}, {51, 52, 51}, {1, 0, 1}, 1, 0, 0, 0, {0, 1, 2},
       {{10, -1}, {11, 0}, {11, 10}}, 1e-12, 1, 10, 0, 1},
      {"fillet between lines inside", {&kF1, &kF, &kF2}, {51, 52, 51}, {1, 0, 1}, -1, 0, 0, 0, {0, 1, 2},
       {{8, 1}, {9, 2}, {9, 10}}, 1e-12, 1, 8, 2, 1},
      {"fillet by a curve re-made", {&kF1, &kF, &kQ}, {51, 52, 51}, {0.5, 0, 0.5}, 1, 0, 0, 0, {0, 1, 2}, {},
       1e-6, 1, n, n, 1},
      {"fillet by a curve kept", {&kF1, &kF, &kQ}, {51, 52, 51}, {0, 0, 0}, 1, 0, 0, 0, {0, 1, 2},
       {{9, 0}, {10, 1}, {12, 10}}, 1e-12, 1, 9, 1, 1},
      {"tangent run merged", {&kA, &kT2}, {51, 51}, {1, 1}, 1, 0, 0, 0, {0, 1}, {{10, -1}, {20, -1}}, 1e-12, -1},
      {"reversal extended", {&kA, &kR}, {51, 51}, {1, 1}, 1, 0, 0, 0, {0, -61, 1}, {{11, -1}, {11, 1}, {0, 1}},
       1e-12, -1},
      // Offset to the right the short leg's offset vanishes, and its neighbours turn by more than a half turn about
      // it: the bend's offset is kept up to where it comes within the distance of the leg's tip (radius 3 about
      // (2, 0) meeting radius 1 about (-0.25, 0.25)), the line's from where it comes clear of the leg. What lies
      // between runs round the tip's far side, which is no offset: the gap is the driver's to report.
      {"short leg vanishing past a half turn, arc", {&kV1, &kV2, &kV3}, {51, 51, 51}, {1, 1, 1}, 1, 1, 0, 0,
       {0, 2}, {{-0.7957861671973576, 1.0879244952237759}, {5, -0.75}}, -1, -1},
      {"transition 1 to 2", {&kA, &kT2, &kT3}, {51, 53, 51}, {1, 0, 2}, 1, 0, 0, 0, {0, 1, 2},
       {{10, -1}, {20, -2}, {30, -2}}, 1e-6, -1},
      {"closed, starting with a fillet", {&kF, &kF2, &kC, &kD, &kF1}, {52, 51, 51, 51, 51}, {0, 1, 1, 1, 1}, 1, 0, 1,
       0, {0, 1, 2, 3, 4}, {{11, 0}, {11, 11}, {-1, 11}, {-1, -1}, {10, -1}}, 1e-12, 0, 10, 0, 1, 1},
      {"closed, starting with a fillet by a curve", {&kF, &kQ, &kQtop, &kD, &kF1}, {52, 51, 51, 51, 51},
       {0, 0.5, 0.5, 0.5, 0.5}, 1, 0, 1, 0, {0, 1, 2, 3, 4}, {}, 1e-6, 0, n, n, 1, 1},
      {"closed, fillet onto an unmoved first piece", {&kF, &kQ, &kQtop, &kD, &kF1}, {52, 51, 51, 51, 51},
       {0, 0, 0.5, 0.5, 0.5}, 1, 0, 1, 0, {}, {}, 1e-6, 0, n, n, 1, 0},
      {"closed, zero at both ends", {&kA, &kB, &kC, &kD}, {51, 51, 51, 51}, {0, 1, 1, 0}, 1, 0, 1, 0, {}, {}, -1, -1,
       0, 0, 0, 0},
      {"open, starting with a corner", {&kF, &kF2}, {52, 51}, {0, 1}, 1, 0, 0, -6, {}, {}, -1, -1},
      {"open, ending with a corner", {&kF1, &kF}, {51, 52}, {1, 0}, 1, 0, 0, -6, {}, {}, -1, -1},
      {"two transitions", {&kA, &kB}, {53, 53}, {1, 1}, 1, 0, 0, -6, {}, {}, -1, -1},
      {"unknown kind", {&kA, &kB}, {51, 54}, {1, 1}, 1, 0, 0, -2, {}, {}, -1, -1},
      {"NaN distance", {&kA, &kB}, {51, 51}, {1, n}, 1, 0, 0, -2, {}, {}, -1, -1},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<const TestCurve *> cs;
    for (const TestCurve **c : r.curves) cs.push_back(*c);
    closing_calls = 0;
    BSsetfaulthook(count_closing);
    auto o = offset(cs, r.types, r.d, r.side, r.option, r.closed);
    BSsetfaulthook(nullptr);
    ASSERT_EQ(o->rc, r.rc);
    EXPECT_EQ(closing_calls, r.closings);
    if (r.rc != 0) {
      EXPECT_EQ(o->m, 0);
      continue;
    }
    if (!r.tags.empty()) { EXPECT_EQ(std::vector<int>(o->tags, o->tags + o->m), r.tags); }
    for (std::size_t k = 0; k < r.ends.size() && k < static_cast<std::size_t>(o->m); ++k) {
      double e[3];
      o->point(static_cast<int>(k), true, e);
      EXPECT_NEAR(e[0], r.ends[k][0], 1e-9) << k;
      EXPECT_NEAR(e[1], r.ends[k][1], 1e-9) << k;
    }
    if (r.gap > 0) { EXPECT_LT(o->gap(r.closed), r.gap); }
    if (r.arc >= 0) {
      double centre[2], radius;
      EXPECT_LT(circle_miss(*o->out[r.arc], centre, &radius), 1e-9);
      EXPECT_NEAR(radius, r.r, 1e-9);
      if (!std::isnan(r.cx)) { EXPECT_NEAR(std::hypot(centre[0] - r.cx, centre[1] - r.cy), 0, 1e-9); }
      for (int k : {r.arc - 1, r.arc}) {  // tangent to both neighbours
        if (k < 0 || k + 1 >= o->m) continue;
        double a[6], b[6];
        const VOQbsp_curve &x = *o->out[k], &y = *o->out[k + 1];
        BScveval_n(&x, x.knots[x.num_poles], 1, a, &o->rc);
        BScveval_n(&y, y.knots[y.order - 1], 1, b, &o->rc);
        EXPECT_NEAR(a[3] * b[4] - a[4] * b[3], 0, 1e-6 * std::hypot(a[3], a[4]) * std::hypot(b[3], b[4])) << k;
      }
    }
  }
}

// Every allocation and release failure of a chain with a fillet (closed, rotated) and one with a transition:
// the count is stored and the driver's release of the slots leaves nothing behind.
TEST(CompositeOffset, FailuresLeaveNothing) {
  make_curves();
  for (int chain : {0, 1})
    for_each_failure(
        [&] {
          return chain ? offset({kA, kT2, kT3}, {51, 53, 51}, {1, 0, 2}, 1, 1, 0)
                       : offset({kF, kF2, kC, kD, kF1}, {52, 51, 51, 51, 51}, {0, 1, 1, 1, 1}, 1, 0, 1);
        },
        [](const Offset &o, int, bool injected) {
          EXPECT_GE(o.m, 0);
          if (!injected) { EXPECT_EQ(o.rc, 0); }
        });
}

// Beyond the components the frame holds: a staircase of 121 steps, its working arrays on the heap.
TEST(CompositeOffset, LongStaircase) {
  std::vector<std::unique_ptr<TestCurve>> steps;
  for (int k = 0; k < 121; ++k)
    steps.push_back(k % 2 ? seg(k / 2 + 1, k / 2, k / 2 + 1, k / 2 + 1) : seg(k / 2, k / 2, k / 2 + 1, k / 2));
  std::vector<const TestCurve *> cs;
  for (const auto &c : steps) cs.push_back(c.get());
  for (int side : {1, -1}) {
    auto o = offset(cs, std::vector<int>(121, 51), std::vector<double>(121, 0.25), side, 0, 0);
    ASSERT_EQ(o->rc, 0);
    EXPECT_EQ(o->m, 121);
    EXPECT_LT(o->gap(false), 1e-12);
  }
}

// A line leg's offset made directly is the general offset's, number for number: far out and tiny, both sides, both
// normals, any knots and distances; a leg that is no plain line, or a plane off the frame's, is left to it.
TEST(CompositeOffset, LineLegsOffsetAsTheGeneralOffset) {
  const auto bits = [](const VOQbsp_curve &c) {
    std::vector<double> v{double(c.order), double(c.num_poles), double(c.num_knots), double(c.rational),
                          double(c.periodic), double(c.non_uniform), double(c.planar), double(c.phy_closed)};
    v.insert(v.end(), c.knots, c.knots + c.num_knots);
    v.insert(v.end(), c.poles, c.poles + 3 * c.num_poles);
    return v;
  };
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u(-1, 1), decade(-9, 7);
  int direct = 0;
  for (int k = 0; k < 3000; ++k) {
    SCOPED_TRACE(k);
    const double s = std::pow(10.0, decade(rng)), far = k % 3 ? std::pow(10.0, decade(rng)) : 0.0;
    const double z = k % 5 ? 0.0 : u(rng), x0 = far + s * u(rng), y0 = -far + s * u(rng);
    const double k0 = k % 4 ? 0.0 : u(rng), k1 = k0 + (k % 4 ? 1.0 : 0.75 + 0.25 * u(rng));
    TestCurve leg(2, {x0, y0, z, x0 + s * u(rng), y0 + s * u(rng), z}, {k0, k0, k1, k1});
    leg.cv.planar = k % 2, leg.cv.non_uniform = k / 2 % 2;
    const double normal[3] = {0, 0, k % 6 ? 1.0 : -1.0}, d = std::pow(10.0, decade(rng)) * (k % 11 ? 1 : -1);
    const int side = k % 8 < 4 ? 1 : -1;
    VOQbsp_curve *general = nullptr, *made = nullptr;
    int grc = 0, mrc = 0;
    BSxycvoff(&leg.cv, d, 0, normal, side, &general, &grc);
    if (bsoffset::line_offset(&leg.cv, d, normal, side, &made, &mrc)) {
      ++direct;
      ASSERT_EQ(mrc, grc);
      EXPECT_EQ(bits(*made), bits(*general));
    }
    for (VOQbsp_curve *c : {general, made})
      if (c) BSfreevoqcv(c, &grc);
  }
  EXPECT_GT(direct, 2900);
  // Left to the general offset: nothing made, rc untouched.
  const double up[3] = {0, 0, 1}, tilted[3] = {0, 0.6, 0.8};
  TestCurve plain(2, {0, 0, 0, 1, 1, 0}, {0, 0, 1, 1}), point(2, {1, 1, 0, 1, 1, 0}, {0, 0, 1, 1});
  TestCurve climbing(2, {0, 0, 0, 1, 1, 1}, {0, 0, 1, 1}), bent(2, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 1, 2, 2});
  TestCurve weighed(2, {0, 0, 0, 1, 1, 0}, {0, 0, 1, 1}, {1, 2}), open(2, {0, 0, 0, 1, 1, 0}, {0, 1, 2, 3});
  const struct {
    const TestCurve *leg;
    const double *normal;
    double d;
  } declined[] = {{&point, up, 1}, {&climbing, up, 1}, {&bent, up, 1}, {&weighed, up, 1}, {&open, up, 1},
                  {&plain, tilted, 1}, {&plain, up, kNaN}, {&plain, up, 1e-15}};
  for (const auto &r : declined) {
    VOQbsp_curve *out = nullptr;
    int rc = 12345;
    EXPECT_FALSE(bsoffset::line_offset(&r.leg->cv, r.d, r.normal, 1, &out, &rc));
    EXPECT_EQ(rc, 12345);
    EXPECT_EQ(out, nullptr);
  }
}

double length(const VOQbsp_curve &c) { return reference_length(c, c.knots[c.order - 1], c.knots[c.num_poles]); }

// Lengthened by len at one end: the other end stays, an arc keeps its circle, and the whole grows by len.
TEST(CompositeOffset, ExtendedByALength) {
  make_curves();
  const struct {
    const TestCurve **cv;
    bool at_start;
    double len;
    int rc;
  } rows[] = {{&kA, true, 5, 0}, {&kB, false, 2, 0}, {&kF, false, 1, 0}, {&kF, true, 0.5, 0},
              {&kQ, false, 3, 0}, {&kQ, false, kNaN, -2}};
  for (const auto &r : rows) {
    const VOQbsp_curve &c = (*r.cv)->cv;
    SCOPED_TRACE(testing::Message() << c.order << " " << r.at_start << " " << r.len);
    const double ends[2] = {c.knots[c.order - 1], c.knots[c.num_poles]};
    VOQbsp_curve *e = nullptr;
    int rc = 0;
    BScvextdst(&c, r.len, ends[!r.at_start], &e, &rc);
    ASSERT_EQ(rc, r.rc);
    if (rc != 0) {
      EXPECT_EQ(e, nullptr);
      continue;
    }
    EXPECT_NEAR(length(*e), length(c) + r.len, 1e-4);
    double fe[3], fc[3], centre[2], radius;
    ref_point(*e, r.at_start ? e->knots[e->num_poles] : e->knots[e->order - 1], fe);
    ref_point(c, ends[r.at_start], fc);
    EXPECT_NEAR(std::hypot(fe[0] - fc[0], fe[1] - fc[1]), 0, 1e-9);
    if (c.rational) { EXPECT_LT(circle_miss(*e, centre, &radius) + std::fabs(radius - 1), 1e-9); }
    BSfreevoqcv(e, &rc);
  }
}

// A chain of lines, fillets and a transition offset to both sides in both corner options, drawn for a reader.
TEST(CompositeOffset, DrawnChain) {
  auto l1 = seg(0, 0, 9, 0), f1 = arc(9, 0, 9, 1, 10, 1), l2 = seg(10, 1, 10, 6), t = seg(10, 6, 10, 10);
  auto l5 = seg(10, 10, 10, 12), f2 = arc(10, 12, 9, 12, 9, 13), l3 = seg(9, 13, 0, 13), l4 = seg(0, 13, 0, 7);
  std::FILE *f = svg_open("composite_offset.svg", "-4 -17 20 22");
  ASSERT_NE(f, nullptr);
  const char *colour[] = {"black", "red", "orange", "blue", "green"};
  for (int style = 0; style < 5; ++style) {  // the chain itself, then side +1 and -1 in options 0 and 1
    const double d = style ? 1 : 0;
    auto o = offset({l1.get(), f1.get(), l2.get(), t.get(), l5.get(), f2.get(), l3.get(), l4.get()},
                    {51, 52, 51, 53, 51, 52, 51, 51}, {d, 0, d, 0, 2 * d, 0, 2 * d, 2 * d}, style < 3 ? 1 : -1,
                    static_cast<std::int16_t>(style % 2 == 0 && style), 0);
    ASSERT_EQ(o->rc, 0) << style;
    EXPECT_LT(o->gap(false), 1e-6) << style;
    for (int k = 0; k < o->m; ++k) svg_curve(f, *o->out[k], colour[style]);
  }
  EXPECT_TRUE(svg_close(f));
}

}  // namespace
