#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LineStringServices, PointAgainstSegment) {
  struct Case {
    double p0[3], p1[3], x[3];
    int rc, code;
    double t;
  } const cases[] = {
      {{0, 0, 0}, {1, 0, 0}, {1e-7, 0, 0}, 0, 1, 0},
      {{0, 0, 0}, {1, 0, 0}, {1, 0, -1e-7}, 0, 1, 1},
      {{0, 0, 0}, {2, 0, 0}, {0.6, 5e-7, 0}, 0, 2, 0.3},
      {{0, 0, 0}, {2, 0, 0}, {0.6, 1e-5, 0}, 0, 0, 0.3},
      {{0, 0, 0}, {1, 0, 0}, {1.5, 0, 0}, 0, 0, 1.5},          // on the line, past the end
      {{0, 0, 0}, {1e-13, 0, 0}, {5, 0, 0}, 0, 0, 5e13},       // short, yet above entry 16 squared
      {{0, 0, 0}, {1e-15, 0, 0}, {0, 0, 0}, -6, 0, 0},
      {{0, 0, 0}, {1, 0, 0}, {0.5, kNaN, 0}, -2, 0, 0},
  };
  for (const Case &c : cases) {
    double p0[3], p1[3], x[3], t = -1;
    std::copy(c.p0, c.p0 + 3, p0), std::copy(c.p1, c.p1 + 3, p1), std::copy(c.x, c.x + 3, x);
    int code = -1, rc = 1;
    BSprptonln(p0, p1, x, &code, &t, &rc);
    EXPECT_EQ(rc, c.rc) << c.x[0];
    EXPECT_EQ(code, c.code) << c.x[0];
    if (rc == 0) {
      EXPECT_NEAR(t, c.t, 1e-12 * std::fabs(c.t)) << c.x[0];
    }
    BSboolean on = 7;
    EXPECT_EQ(BSpt_on_lne(&rc, p0, p1, x, &t, &on), c.rc == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(rc, c.rc == -6 ? -1 : c.rc);
    EXPECT_EQ(on, c.code != 0 ? BSTRUE : BSFALSE);
  }
}

TEST(LineStringServices, EndPointContactsOfTwoSegments) {
  struct Case {
    double p0[3], p1[3], q0[3], q1[3], hit;  // hit: tolerance entry 18
    int rc, n;
    BSboolean exact;
    double t1[2], t2[2];
  } const cases[] = {
      {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}, 1e-6, 0, 1, 1, {1}, {0}},
      {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}, 1e-6, 0, 2, 1, {0, 1}, {0, 1}},
      {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, 0}, 1e-6, 0, 2, 1, {0, 1}, {1, 0}},
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {3, 0, 0}, 1e-6, 0, 2, 1, {0.5, 1}, {0, 0.5}},
      {{0, 0, 0}, {2, 0, 0}, {1, -1, 0}, {1, 1, 0}, 1e-6, 0, 0, 0, {}, {}},  // a crossing is not an end contact
      {{0, 0, 0}, {2, 0, 0}, {1, 1e-4, 0}, {1, 1, 0}, 1e-3, 0, 1, 0, {0.5}, {0}},  // a hit, not exact
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {1, 5e-7, 0}, 1e-6, -6, 0, 0, {}, {}},
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {1, kNaN, 0}, 1e-6, -2, 0, 0, {}, {}},
  };
  for (const Case &c : cases) {
    double p0[3], p1[3], q0[3], q1[3], pts[6], t1[2], t2[2];
    std::copy(c.p0, c.p0 + 3, p0), std::copy(c.p1, c.p1 + 3, p1);
    std::copy(c.q0, c.q0 + 3, q0), std::copy(c.q1, c.q1 + 3, q1);
    int n = -1, rc = 1;
    BSboolean exact = 7;
    int set_rc = 0;
    BSchangepar(&set_rc, 18, c.hit);
    BSlnendpt(p0, p1, q0, q1, &n, pts, t1, t2, &exact, &rc);
    BSchangepar(&set_rc, 18, BStoldefault(18));
    EXPECT_EQ(rc, c.rc) << c.q0[0] << " " << c.q1[1];
    ASSERT_EQ(n, c.n) << c.q0[0] << " " << c.q1[1];
    EXPECT_EQ(exact, c.exact);
    for (int k = 0; k < n; ++k) {
      EXPECT_DOUBLE_EQ(t1[k], c.t1[k]);
      EXPECT_DOUBLE_EQ(t2[k], c.t2[k]);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(pts[3 * k + i], c.p0[i] + c.t1[k] * (c.p1[i] - c.p0[i]), 1e-4);
    }
  }
}

TEST(LineStringServices, EndPoleContactsOfTwoChains) {
  struct Case {
    std::vector<double> a, b, wa, wb;  // weights empty: not rational
    double tol;                        // 0: dist_sqtol
    int rc, n;
    double pts[2][3], t1[2], t2[2];
  } const cases[] = {
      // A closed pair: both ends meet, in pair order.
      {{0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 2, 0, 0}, {}, {}, 0, 0, 2, {{0, 0, 0}, {2, 0, 0}}, {0, 1}, {0, 1}},
      // a0 b0 at 4e-7 and a1 b0 at 1e-7 meet at one place: the closer pair (a1 b0) stays.
      {{0, 0, 0, 1, 1, 0, 3e-7, 0, 0}, {4e-7, 0, 0, 5, 5, 5}, {}, {}, 0, 0, 1, {{3.5e-7, 0, 0}}, {1}, {0}},
      // Equal distances: the earlier pair (a0 b0) stays.
      {{0, 0, 0, 1, 1, 0, 4e-7, 0, 0}, {2e-7, 0, 0, 5, 5, 5}, {}, {}, 0, 0, 1, {{1e-7, 0, 0}}, {0}, {0}},
      // Rational chains compare their unweighted ends: (1, 1, 0) and (3, 0, 0) both times.
      {{2, 2, 0, 0, 0, 0, 12, 0, 0}, {9, 0, 0, 5, 5, 0}, {2, 1, 4}, {3, 5}, 0, 0, 2, {{1, 1, 0}, {3, 0, 0}}, {0, 1},
       {1, 0}},
      {{0, 0, 0, 1, 0, 0}, {1.05, 0, 0, 2, 0, 0}, {}, {}, 1e-2, 0, 1, {{1.025, 0, 0}}, {1}, {0}},
      {{0, 0, 0, 1, 0, 0}, {1.05, 0, 0, 2, 0, 0}, {}, {}, 0, 0, 0, {}, {}, {}},
      {{0, 0, 0, 1, 0, 0}, {1, 0, 0, 2, 0, 0}, {1, 0}, {}, 0, -1, 0, {}, {}, {}},
      {{0, 0, 0, 1, 0, kNaN}, {1, 0, 0, 2, 0, 0}, {}, {}, 0, -2, 0, {}, {}, {}},
      {{0, 0, 0, 1, 0, 0}, {1, 0, 0, 2, 0, 0}, {}, {}, -1, -2, 0, {}, {}, {}},
  };
  for (const Case &c : cases) {
    std::vector<double> a = c.a, b = c.b, wa = c.wa, wb = c.wb;
    double pts[12], t1[4], t2[4];
    int n = -1, rc = 1;
    BSendpt_int(int(a.size() / 3), int(b.size() / 3), !wa.empty(), !wb.empty(), a.data(), b.data(), wa.data(),
                wb.data(), c.tol != 0, c.tol, &n, pts, t1, t2, &rc);
    EXPECT_EQ(rc, c.rc) << a[3];
    ASSERT_EQ(n, c.n) << a[3];
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(t1[k], c.t1[k]);
      EXPECT_EQ(t2[k], c.t2[k]);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(pts[3 * k + i], c.pts[k][i], 1e-15);
    }
  }
}

// The intersector's result store: 100 points and 100 pieces in the caller's own arrays.
struct Store {
  std::vector<double> own_pts = std::vector<double>(300), own_t1 = std::vector<double>(100),
                      own_t2 = std::vector<double>(100), own_ovl = std::vector<double>(600),
                      own_o1 = std::vector<double>(200), own_o2 = std::vector<double>(200);
  double *pts = own_pts.data(), *t1 = own_t1.data(), *t2 = own_t2.data();
  double *ovl = own_ovl.data(), *o1 = own_o1.data(), *o2 = own_o2.data();
  int n_pts = 0, n_ovl = 0, blocks_pts = 0, blocks_ovl = 0;

  // Appends count results: points at x = first .. first + count - 1 (pieces along x), parameters x / 1000 + lap
  // (a string that came back to those points).
  int add(int count, double first, double gap = 0, double lap = 0) {
    std::vector<double> p(3 * count), s(count);
    for (int k = 0; k < count; ++k) p[3 * k] = first + k + (k > 0 ? gap : 0), s[k] = p[3 * k] / 1000 + lap;
    int rc = 1;
    BSlslsmem(count, p.data(), s.data(), s.data(), 1e-12, &n_pts, &pts, &t1, &t2, &n_ovl, &ovl, &o1, &o2,
              &blocks_pts, &blocks_ovl, &rc);
    return rc;
  }
  ~Store() {
    for (double *a : {pts, t1, t2})
      if (blocks_pts > 0) BSdbgfree(a);
    for (double *a : {ovl, o1, o2})
      if (blocks_ovl > 0) BSdbgfree(a);
  }
};

TEST(LineStringServices, ResultStoreGrowsByBlocksAndJoinsPieces) {
  const int live = BSdbgliveblocks();
  {
    Store s;
    for (int k = 0; k < 100; ++k) ASSERT_EQ(s.add(1, k), 0);
    EXPECT_EQ(s.pts, s.own_pts.data());
    ASSERT_EQ(s.add(1, 100), 0);  // the 101st point: room for 200
    EXPECT_EQ(s.blocks_pts, 1);
    const double *second = s.pts;
    EXPECT_NE(second, s.own_pts.data());
    ASSERT_EQ(s.add(99, 101), 0);
    EXPECT_EQ(s.pts, second);
    ASSERT_EQ(s.add(250, 200), 0);  // one batch of more than a block
    EXPECT_EQ(s.blocks_pts, 4);
    ASSERT_EQ(s.n_pts, 450);
    for (int k = 0; k < 450; ++k) {
      ASSERT_EQ(s.pts[3 * k], k);
      ASSERT_EQ(s.t2[k], k / 1000.0);
    }

    ASSERT_EQ(s.add(2, 0), 0);  // a piece from x = 0 to 1
    ASSERT_EQ(s.add(2, 1), 0);  // starting where it ends: now 0 to 2
    ASSERT_EQ(s.add(2, 5), 0);
    ASSERT_EQ(s.add(2, 6, 0, 1), 0);  // at its end point, but on another lap of the strings: a piece of its own
    ASSERT_EQ(s.n_ovl, 3);
    EXPECT_EQ(s.ovl[3], 2);
    EXPECT_EQ(s.o1[1], 0.002);
    EXPECT_EQ(s.ovl[6], 5);
    EXPECT_EQ(s.o2[3], 0.006);
    EXPECT_EQ(s.o2[4], 1.006);
    for (int k = 0; k < 300; ++k) ASSERT_EQ(s.add(2, 10 + 3 * k), 0);
    EXPECT_EQ(s.n_ovl, 303);
    EXPECT_EQ(s.blocks_ovl, 3);  // grown at 100, 200 and 300 pieces
    EXPECT_EQ(s.ovl[6 * 302], 907);

    const std::int32_t mode = bstest::set_line_mode(0);  // pairs become points
    EXPECT_EQ(mode, 1);
    ASSERT_EQ(s.add(2, 0), 0);
    bstest::set_line_mode(mode);
    EXPECT_EQ(s.n_pts, 452);
    EXPECT_EQ(s.n_ovl, 303);

    std::vector<double> bad = {0, kNaN, 0};
    int rc = 0;
    BSlslsmem(1, bad.data(), bad.data(), bad.data(), 1e-12, &s.n_pts, &s.pts, &s.t1, &s.t2, &s.n_ovl, &s.ovl,
              &s.o1, &s.o2, &s.blocks_pts, &s.blocks_ovl, &rc);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(s.n_pts, 452);
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(LineStringServices, ResultStoreUnchangedWhenAnAllocationFails) {
  const int live = BSdbgliveblocks();
  for (int blocks = 0; blocks < 2; ++blocks)
    for (int pieces = 0; pieces < 2; ++pieces)
      for (int fail = 1; fail <= 3; ++fail) {
        Store s;
        for (int k = 0; k < 100 * (blocks + 1); ++k) ASSERT_EQ(s.add(pieces ? 2 : 1, 3 * k, 1), 0);
        double *arrays[6] = {s.pts, s.t1, s.t2, s.ovl, s.o1, s.o2};
        const int n_pts = s.n_pts, n_ovl = s.n_ovl, live_now = BSdbgliveblocks();
        BSallocfailat(fail);
        EXPECT_EQ(s.add(pieces ? 2 : 1, 1e6, 1), -13);
        BSallocfailat(0);
        EXPECT_EQ(BSdbgliveblocks(), live_now);
        EXPECT_EQ(s.n_pts, n_pts);
        EXPECT_EQ(s.n_ovl, n_ovl);
        EXPECT_EQ(s.blocks_pts + s.blocks_ovl, blocks);
        const double *after[6] = {s.pts, s.t1, s.t2, s.ovl, s.o1, s.o2};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(after[i], arrays[i]);
        EXPECT_EQ((pieces ? s.ovl[6 * n_ovl - 6] : s.pts[3 * n_pts - 3]), 3 * (100 * (blocks + 1) - 1));
      }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(LineStringServices, BoxOfASegmentAgainstAQueryBox) {
  struct Case {
    double a[3], b[3], pad;
    int rc;
    BSboolean meets;
  } const cases[] = {
      {{0, 0, 0}, {1, 1, 1}, 0, 0, 1},       // shares the face x = 1 with the query box
      {{0, 0, 2}, {1, 1, 3}, 0, 0, 0},       // apart on z only
      {{0, 0, 2}, {1, 1, 3}, 0.5, 0, 1},     // the pad reaches it
      {{0, 0, 0}, {1, 1, 1}, -0.1, -2, 0},
      {{0, 0, kNaN}, {1, 1, 1}, 0, -2, 0},
  };
  for (const Case &c : cases) {
    double a[3], b[3], qmin[3] = {1, 0, 0}, qmax[3] = {2, 1, 1.5}, box[6];
    std::copy(c.a, c.a + 3, a), std::copy(c.b, c.b + 3, b);
    BSboolean meets = 7;
    int rc = 1;
    BScvset_rng(a, b, c.pad, qmin, qmax, box, &meets, &rc);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(meets, c.meets);
    if (rc == 0) {
      EXPECT_EQ(box[2], std::min(a[2], b[2]) - c.pad);
    }
  }
}

struct Tree {
  int levels = -1, counts[BSRANGE_MAX_LEVELS];
  BSrangenode *level[BSRANGE_MAX_LEVELS];
  int rc = 1;
  Tree(std::vector<double> pts, double qmin[3], double qmax[3], double *mids = nullptr) {
    BScvrngtree(int(pts.size() / 3), pts.data(), mids, qmin, qmax, mids ? 0 : 1, &levels, counts, level, &rc);
  }
  ~Tree() {
    for (BSrangenode *l : level)
      if (l) BSdbgfree(l);
  }
  const BSrangenode &root() const { return level[levels - 1][0]; }
};

TEST(LineStringServices, RangeTreeKeepsOnlyWhatMeetsTheQueryBox) {
  const int live = BSdbgliveblocks();
  // A zigzag of five segments along x; the query box meets only segment 3 (x from 3 to 4).
  const std::vector<double> zigzag = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0, 4, 0, 0, 5, 1, 0};
  double qmin[3] = {3.2, 0.1, -1}, qmax[3] = {3.8, 0.3, 1};
  {
    Tree t(zigzag, qmin, qmax);
    ASSERT_EQ(t.rc, 0);
    ASSERT_EQ(t.levels, 4);
    EXPECT_EQ(std::vector<int>(t.counts, t.counts + 4), (std::vector<int>{5, 3, 2, 1}));
    // From the root down to leaf 3 through single children; the others are clear and childless.
    int index = 0;
    for (int l = 3; l > 0; --l) {
      const BSrangenode &node = t.level[l][index];
      ASSERT_EQ(node.meets, 1);
      ASSERT_EQ(node.count, 1);
      EXPECT_EQ(node.first, node.second);
      EXPECT_EQ(node.box[0] + 10 * node.box[3], 43);
      index = node.first;
    }
    EXPECT_EQ(index, 3);
    EXPECT_EQ(t.level[0][3].first, 3);
    EXPECT_EQ(t.level[1][0].meets + t.level[1][2].meets + t.level[0][2].meets + t.level[0][4].meets, 0);
    EXPECT_EQ(t.level[1][0].count, 0);
  }
  {
    double far_min[3] = {10, 10, 10}, far_max[3] = {11, 11, 11};
    Tree t(zigzag, far_min, far_max);
    ASSERT_EQ(t.rc, 0);
    EXPECT_EQ(t.root().meets, 0);
    EXPECT_EQ(t.root().count, 0);
  }
  {
    Tree t({0, 0, 0, 1, 1, 0}, qmin, qmax);  // one segment, one level
    EXPECT_EQ(t.levels, 1);
    EXPECT_EQ(t.root().meets, 0);
  }
  {
    // Padded: each segment's box widened by 0.85 times its midpoint's distance to mids[i] (here 1).
    std::vector<double> mids(15);
    for (int i = 0; i < 5; ++i) mids[3 * i] = zigzag[3 * i] + 0.5, mids[3 * i + 1] = 1.5;
    double below_min[3] = {0.2, -0.8, -1}, below_max[3] = {0.4, -0.5, 1};
    Tree t(zigzag, below_min, below_max, mids.data());
    ASSERT_EQ(t.rc, 0);
    EXPECT_EQ(t.level[0][0].meets, 1);
    EXPECT_NEAR(t.level[0][0].box[1], -0.85, 1e-15);
    Tree unpadded(zigzag, below_min, below_max);
    EXPECT_EQ(unpadded.root().meets, 0);
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(LineStringServices, RangeTreeFailuresLeaveOnlyWhatTheCallerReleases) {
  const int live = BSdbgliveblocks();
  std::vector<double> chain(3 * 9);
  for (int i = 0; i < 9; ++i) chain[3 * i] = i, chain[3 * i + 1] = i % 2;
  double qmin[3] = {0, 0, 0}, qmax[3] = {9, 1, 0};
  for (int fail = 1; fail <= 4; ++fail) {  // levels of 8, 4, 2 and 1 nodes
    BSallocfailat(fail);
    Tree t(chain, qmin, qmax);
    BSallocfailat(0);
    EXPECT_EQ(t.rc, -13);
    EXPECT_EQ(t.levels, fail - 1);
  }
  std::vector<double> mids(3 * 8);
  int levels, counts[BSRANGE_MAX_LEVELS], rc = 0;
  BSrangenode *level[BSRANGE_MAX_LEVELS];
  BScvrngtree(9, chain.data(), nullptr, qmin, qmax, 0, &levels, counts, level, &rc);  // padding without mids
  EXPECT_EQ(rc, -2);
  chain[4] = kNaN;
  EXPECT_EQ(Tree(chain, qmin, qmax).rc, -2);
  // 2^19 segments make the 20 levels a tree may have; one more is refused before anything is built.
  std::vector<double> many(3 * ((1 << 19) + 2));
  for (std::size_t i = 0; i < many.size(); i += 3) many[i] = double(i);
  {
    Tree most(std::vector<double>(many.begin(), many.end() - 3), qmin, qmax);
    EXPECT_EQ(most.rc, 0);
    EXPECT_EQ(most.levels, 20);
    EXPECT_EQ(most.root().count, 1);
  }
  EXPECT_EQ(Tree(many, qmin, qmax).rc, 44);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

}  // namespace
