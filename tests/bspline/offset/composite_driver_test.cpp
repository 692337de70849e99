// The composite-curve offset driver: what it does with nothing to offset, degenerate components, loops of the
// joined offset, gaps and closed chains, judged by the pieces' ends, tags and loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kZ[3] = {0, 0, 1};
const double kDown[3] = {0, 0, -1};

struct Result {
  int rc = 0, m = -1, loops = -1;
  VOQbsp_curve *out[64] = {}, *loop_cv[64] = {};
  int tags[64] = {}, per_loop[64] = {}, loop_tags[64] = {};
  ~Result() {
    int frc = 0;
    for (VOQbsp_curve *cv : out)
      if (cv) BSfreevoqcv(cv, &frc);
    for (VOQbsp_curve *cv : loop_cv)
      if (cv) BSfreevoqcv(cv, &frc);
  }
  void end(const VOQbsp_curve *c, bool at_end, double p[3]) const {
    ref_point(*c, at_end ? c->knots[c->num_poles] : c->knots[c->order - 1], p);
  }
  // The largest gap between consecutive pieces, round the seam too when closed.
  double gap(bool closed) const {
    double g = 0;
    for (int k = 0; k + 1 < m + (closed ? 1 : 0); ++k) {
      double e[3], s[3];
      end(out[k], true, e), end(out[(k + 1) % m], false, s);
      g = std::max(g, std::hypot(e[0] - s[0], e[1] - s[1]));
    }
    return g;
  }
  // Corners of the box of the pieces' ends.
  void box(double lo[2], double hi[2]) const {
    lo[0] = lo[1] = 1e300, hi[0] = hi[1] = -1e300;
    for (int k = 0; k < m; ++k)
      for (bool e : {false, true}) {
        double p[3];
        end(out[k], e, p);
        for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], p[c]), hi[c] = std::max(hi[c], p[c]);
      }
  }
};

struct Case {
  const char *name;
  std::vector<Seg> legs;
  std::vector<double> dists;
  bool single, side, closed;
  int loop_mode;
  const double *normal;
  std::int16_t option = 0;
};

std::unique_ptr<Result> run(const Case &c) {
  auto r = std::make_unique<Result>();
  std::vector<std::unique_ptr<TestCurve>> own;
  std::vector<const VOQbsp_curve *> cs;
  for (const Seg &s : c.legs) own.push_back(line(s)), cs.push_back(&own.back()->cv);
  for (int k = 0; k < 64; ++k) r->out[k] = reinterpret_cast<VOQbsp_curve *>(&r->m);  // must be cleared
  for (int k = std::max<int>(3, 2 * static_cast<int>(cs.size()) + 1); k < 64; ++k) r->out[k] = nullptr;
  const std::vector<int> types(cs.size(), BSCMP_ORDINARY);
  BScmpcvoffl(static_cast<int>(cs.size()), cs.data(), c.side, c.normal, c.dists.data(), c.single, types.data(),
              c.option, static_cast<std::int16_t>(c.loop_mode), c.closed, &r->m, r->out, r->tags, &r->loops,
              r->per_loop, r->loop_cv, r->loop_tags, &r->rc);
  return r;
}

std::vector<Seg> square(double a) { return {{0, 0, a, 0}, {a, 0, a, a}, {a, a, 0, a}, {0, a, 0, 0}}; }

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::vector<Seg> kEll = {{0, 0, 10, 0}, {10, 0, 10, 10}};
// Its last leg crosses its first: the joined offset crosses itself.
const std::vector<Seg> kSpiral = {{0, 0, 10, 0}, {10, 0, 10, 10}, {10, 10, 5, 10}, {5, 10, 5, -5}};
// A closed chain opening with a notch: offset inwards its first leg vanishes, and the second's line cuts off the
// corner that would come nearer to it than the distance.
// A hairpin: offset inwards by more than its width, nothing of it is left. With its turn kept in place (distance
// 0) its legs' offsets cross over and never meet.
const std::vector<Seg> kHairpin = {{0, 0, 10, 0}, {10, 0, 10.5, 0.5}, {10.5, 0.5, 0, 0.5}};
// A tip turning past a half turn on a leg shorter than the distance; its last leg crosses its first.
const std::vector<Seg> kOverturn = {{10, 10, 0, 0}, {0, 0, 0, 0.25}, {0, 0.25, 6, 3.25}};
const std::vector<Seg> kNotch = {{0, 0, 0.5, 0.3}, {0.5, 0.3, 1, 0}, {1, 0, 4, 0},
                                 {4, 0, 4, 4},     {4, 4, 0, 4},     {0, 4, 0, 0}};
// A step shorter than twice the distance: offset to the left its middle leg's offset starts beyond its own end.
const std::vector<Seg> kStep = {{0, 0, 10, 0}, {10, 0, 10, 1}, {10, 1, 20, 1}};
// Flagged closed, their ends apart: a square's three sides, and legs offset inwards by more than two of them
// are long, the last running off far from the first's start.
const std::vector<Seg> kThreeSides = {{0, 0, 4, 0}, {4, 0, 4, 4}, {4, 4, 0, 4}};
const std::vector<Seg> kShortLegs = {{0, 0, -15, 0}, {-15, 0, -15, 4}, {-15, 4, -19, 4}, {-19, 4, -34, -15}};
// A loop as kSpiral's, then a chain winding twice round before it runs off: its offset's second loop holds a third.
const std::vector<Seg> kLoopThenNested = {{0, 0, 10, 0},  {10, 0, 10, 5},  {10, 5, 5, 5},   {5, 5, 5, -5},
                                          {5, -5, 35, -5}, {35, -5, 35, 5}, {35, 5, 27, 5},  {27, 5, 27, -3},
                                          {27, -3, 33, -3}, {33, -3, 33, 3}, {33, 3, 30, 3}, {30, 3, 30, -10}};

bool closes(const Case &c) {
  return c.closed && c.legs.front().x0 == c.legs.back().x1 && c.legs.front().y0 == c.legs.back().y1;
}

TEST(CompositeOffsetDriver, Outcomes) {
  const double kNaNs[3] = {0, kNaN, 1};
  struct Row {
    Case c;
    int rc;
    std::vector<int> tags, per_loop;
    double lo[2], hi[2];  // box of the pieces' ends (unchecked when lo > hi)
  };
  const std::vector<Row> rows = {
      {{"one component", {{0, 0, 1, 0}}, {1}, true, true, false, 2, kZ}, -2, {}, {}, {1, 1}, {0, 0}},
      {{"zero distance", kEll, {0}, true, true, false, 1, kZ}, 0, {0, 1}, {}, {0, 0}, {10, 10}},
      {{"negative distance", kEll, {-1}, true, true, false, 1, kZ}, 0, {0, 1}, {}, {0, 0}, {10, 10}},
      {{"below dist_tol", kEll, {5e-7}, true, true, false, 1, kZ}, 0, {0, 1}, {}, {0, 0}, {10, 10}},
      {{"all at dist_tol", kEll, {1e-6, 0}, false, true, false, 1, kZ}, 0, {0, 1}, {}, {0, 0}, {10, 10}},
      {{"NaN distance", kEll, {kNaN}, true, true, false, 1, kZ}, -2, {}, {}, {1, 1}, {0, 0}},
      {{"NaN normal", kEll, {1}, true, true, false, 1, kNaNs}, -2, {}, {}, {1, 1}, {0, 0}},
      // A damaged component is refused before it is copied into the local frame.
      {{"NaN pole", {{0, 0, 10, 0}, {10, 0, 10, kNaN}}, {1}, true, true, false, 1, kZ}, -2, {}, {}, {1, 1}, {0, 0}},
      {{"point in the middle", {{0, 0, 10, 0}, {10, 0, 10, 0, 7}, {10, 0, 10, 10}}, {1}, true, true, false, 0, kZ},
       0, {0, 2}, {}, {0, -1}, {11, 10}},
      {{"square out", square(4), {1}, true, true, true, 0, kZ}, 0, {0, 1, 2, 3}, {}, {-1, -1}, {5, 5}},
      {{"square in", square(4), {1}, true, false, true, 1, kZ}, 0, {0, 1, 2, 3}, {}, {1, 1}, {3, 3}},
      {{"square mirrored", square(4), {1}, true, true, true, 2, kDown}, 0, {0, 1, 2, 3}, {}, {1, 1}, {3, 3}},
      // Every corner turns inwards: round corners change nothing, and the legs give way as when mitred.
      {{"square in past half its side, round corners", square(4), {2.625}, true, false, true, 1, kZ, 1}, -12, {}, {},
       {1, 1}, {0, 0}},
      // Both corners turn inwards, but once the short leg gives way the corner of its neighbours turns away: no
      // mitre point far out where round corners were asked for; the joins leave a gap there.
      {{"overturned tip past its short leg, round corners", kOverturn, {1.5}, true, true, false, 2, kZ, 1}, 47,
       {0, -63, 2}, {}, {1, 1}, {0, 0}},
      {{"loops handed back", kSpiral, {1}, true, true, false, 1, kZ}, 0, {0, 3}, {4}, {0, -5}, {4, -1}},
      // Each loop read from where the one before it ends, a loop of one stretch taking two parameters.
      {{"a loop, then one holding another", kLoopThenNested, {1}, true, true, false, 1, kZ}, 0, {0, 3, 4, 11},
       {4, 6, 4}, {0, -10}, {29, -1}},
      {{"loops dropped", kSpiral, {1}, true, false, false, 2, kZ}, 0, {0, 3}, {}, {0, -5}, {6, 1}},
      {{"loops kept", kSpiral, {1}, true, true, false, 0, kZ}, 0, {0, 1, 2, 3}, {}, {1, 1}, {0, 0}},
      {{"notch left out", kNotch, {1}, true, false, true, 1, kZ}, 0, {1, 2, 3, 4, 5}, {}, {1, 1}, {3, 3}},
      {{"nothing left", kHairpin, {1}, true, false, false, 2, kZ}, -12, {}, {}, {1, 1}, {0, 0}},
      {{"short step mirrored", kStep, {2}, true, true, false, 1, kDown}, 0, {0, 1, 2}, {}, {0, 2}, {20, 3}},
      {{"short step, a distance per leg", kStep, {2, 1, 2}, false, false, false, 0, kZ}, 0, {0, 1, 2}, {}, {0, 2},
       {20, 3}},
      {{"gap handed back", kHairpin, {1, 0, 1}, false, false, false, 2, kZ}, 47, {0, -61, 2}, {}, {0, -0.5}, {10, 1}},
      {{"gap copied", {{0, 0, 10, 0}, {10, 5, 10, 10}}, {0}, true, true, false, 1, kZ}, 47, {0, 1}, {}, {0, 0},
       {10, 10}},
      // Joined only turned round: the copies keep the components' directions, and leave a gap.
      {{"copied, second turned round", {{0, 0, 10, 0}, {0, 0, 0, 10}}, {0}, true, true, false, 1, kZ}, 47, {0, 1}, {},
       {0, 0}, {10, 10}},
      // Not bridged across the seam as if a corner were there: offset as the open chains they are.
      {{"closed, ends apart", kThreeSides, {1}, true, true, true, 1, kZ}, 0, {0, 1, 2}, {}, {0, -1}, {5, 5}},
      {{"closed, ends apart, short legs", kShortLegs, {15}, true, false, true, 1, kZ}, 0, {0, 3}, {}, {1, 1}, {0, 0}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.c.name);
    auto r = run(row.c);
    EXPECT_EQ(r->rc, row.rc);
    ASSERT_EQ(r->m, static_cast<int>(row.tags.size()));
    ASSERT_EQ(r->loops, static_cast<int>(row.per_loop.size()));
    for (int k = 0; k < 3 && row.tags.empty(); ++k) EXPECT_EQ(r->out[k], nullptr);
    for (int k = 0; k < r->m; ++k) {
      EXPECT_EQ(r->tags[k], row.tags[k]) << k;
      const VOQbsp_curve &c = *r->out[k];
      EXPECT_EQ(c.knots[c.order - 1], 0.0);
      EXPECT_EQ(c.knots[c.num_poles], 1.0);
    }
    if (r->m > 0) {
      EXPECT_EQ(r->gap(closes(row.c)) > 1e-9, row.rc == 47);
    }
    int loop_curves = 0;
    for (int k = 0; k < r->loops; ++k) {
      EXPECT_EQ(r->per_loop[k], row.per_loop[k]);
      loop_curves += r->per_loop[k];
    }
    const int legs = static_cast<int>(row.c.legs.size());
    for (int k = 0; k < loop_curves; ++k) {
      ASSERT_TRUE(r->loop_cv[k]) << k;
      EXPECT_TRUE(r->loop_tags[k] >= 0 && r->loop_tags[k] < legs) << k;
    }
    // Each loop's curves run end to end and close on themselves.
    for (int l = 0, at = 0; l < r->loops; at += r->per_loop[l++]) {
      double first[3], prev[3], p[3];
      r->end(r->loop_cv[at], false, first);
      std::copy(first, first + 3, prev);
      for (int k = 0; k < r->per_loop[l]; ++k) {
        r->end(r->loop_cv[at + k], false, p);
        EXPECT_LT(std::hypot(p[0] - prev[0], p[1] - prev[1]), 1e-9) << l << " " << k;
        r->end(r->loop_cv[at + k], true, prev);
      }
      EXPECT_LT(std::hypot(first[0] - prev[0], first[1] - prev[1]), 1e-9) << l;
    }
    if (row.lo[0] <= row.hi[0]) {
      double lo[2], hi[2];
      r->box(lo, hi);
      for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(lo[c], row.lo[c], 1e-9);
        EXPECT_NEAR(hi[c], row.hi[c], 1e-9);
      }
    }
    // Every piece lies in the plane of the input, z = 2, after the trip through the local frame.
    for (int k = 0; k < r->m; ++k)
      for (bool e : {false, true}) {
        double p[3];
        r->end(r->out[k], e, p);
        EXPECT_NEAR(p[2], 2.0, 1e-9);
      }
  }
}

// A picture for a reader: the chain grey, its offset's pieces coloured by tag, the loops cut out of it dashed red.
// What is drawn must hold together: each loop closes on itself.
TEST(CompositeOffsetDriver, DrawsPiecesByTagAndTheRemovedLoops) {
  const Case c{"loops", kSpiral, {1}, true, true, false, 1, kZ};
  auto r = run(c);
  ASSERT_EQ(r->rc, 0);
  std::FILE *f = std::fopen("composite_driver.svg", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "<svg xmlns='http://www.w3.org/2000/svg' viewBox='-2 -12 14 18'>\n");
  const char *by_tag[] = {"blue", "green", "orange", "purple"};
  // Each curve as a polyline; its first and last points come back for the checks.
  const auto draw = [&](const VOQbsp_curve &cv, const char *colour, const char *dash, double first[2], double last[2]) {
    std::fprintf(f, "<polyline fill='none' stroke-width='0.08' stroke='%s' stroke-dasharray='%s' points='", colour, dash);
    for (int j = 0; j <= 50; ++j) {
      double p[3];
      ref_point(cv, cv.knots[cv.order - 1] + j * (cv.knots[cv.num_poles] - cv.knots[cv.order - 1]) / 50, p);
      std::fprintf(f, "%.4f,%.4f ", p[0], -p[1]);
      if (j == 0) first[0] = p[0], first[1] = p[1];
      last[0] = p[0], last[1] = p[1];
    }
    std::fprintf(f, "'/>\n");
  };
  double a[2], b[2], prev[2] = {0, 0};
  for (const Seg &s : kSpiral) draw(line(s)->cv, "#bbb", "none", a, b);
  for (int k = 0; k < r->m; ++k)
    draw(*r->out[k], r->tags[k] >= 0 && r->tags[k] < 4 ? by_tag[r->tags[k]] : "black", "none", a, b);
  int at = 0;
  for (int l = 0; l < r->loops; ++l) {
    double start[2] = {0, 0};
    for (int k = 0; k < r->per_loop[l]; ++k, ++at) {
      draw(*r->loop_cv[at], "red", "0.2 0.1", a, b);
      if (k == 0) start[0] = a[0], start[1] = a[1];
      if (k > 0) {
        EXPECT_LT(std::hypot(a[0] - prev[0], a[1] - prev[1]), 1e-9) << l << " " << k;
      }
      prev[0] = b[0], prev[1] = b[1];
    }
    EXPECT_LT(std::hypot(start[0] - prev[0], start[1] - prev[1]), 1e-9) << l;
  }
  std::fprintf(f, "</svg>\n");
  EXPECT_EQ(std::fclose(f), 0);
}

// A failure anywhere, a release included, leaves nothing behind and answers a code: offsets joined piece by
// piece, and a chain of short legs made at once.
TEST(CompositeOffsetDriver, FailuresReleaseEverything) {
  for (const Case &c : {Case{"loops", kSpiral, {1}, true, true, false, 1, kZ},
                        Case{"short step", kStep, {2}, true, false, false, 1, kZ}}) {
    SCOPED_TRACE(c.name);
    for_each_failure([&] { return run(c); },
                     [](const Result &r, int, bool injected) {
                       if (!injected) {
                         EXPECT_EQ(r.rc, 0);
                       }
                       if (r.rc != 0) {
                         EXPECT_EQ(r.m, 0);
                       }
                     });
  }
}

}  // namespace
