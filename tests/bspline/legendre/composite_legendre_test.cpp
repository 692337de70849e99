#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The outputs of one BSbsp2cmlgd call, released as a caller releases them.
struct Composite {
  int n = -1;
  int *degrees = reinterpret_cast<int *>(&n);  // stale pointers: the routine must clear them
  int *codes = reinterpret_cast<int *>(&n);
  double **spans = nullptr;
  double *breakpoints = reinterpret_cast<double *>(&n);
  double range[2] = {-9, -9};
  int rc = -1;

  Composite() = default;
  Composite(int dim, const std::vector<double> &blocks, int order, BSboolean rational,
            const std::vector<double> &knots) {
    convert(dim, blocks, order, rational, knots);
  }
  void convert(int dim, const std::vector<double> &blocks, int order, BSboolean rational,
               const std::vector<double> &knots) {
    const int num_poles = static_cast<int>(knots.size()) - order;
    BSbsp2cmlgd(dim, num_poles, order, rational, blocks.data(), knots.data(), &n, &degrees, &codes, &spans,
                &breakpoints, range, &rc);
  }
  ~Composite() {
    BSfreecmplgd(&spans);
    if (rc == 0) {
      BSdbgfree(degrees);
      BSdbgfree(codes);
      BSdbgfree(breakpoints);
    }
  }
  Composite(const Composite &) = delete;
  Composite &operator=(const Composite &) = delete;
};

// Sum of a Legendre series at u.
double legendre_sum(int degree, const double *c, double u) {
  double p0 = 1, p1 = u, sum = c[0];
  if (degree >= 1) sum += c[1] * u;
  for (int k = 2; k <= degree; ++k) {
    const double p2 = ((2 * k - 1) * u * p1 - (k - 1) * p0) / k;
    sum += c[k] * p2;
    p0 = p1;
    p1 = p2;
  }
  return sum;
}

TEST(CompositeLegendre, BezierToLegendre) {
  std::vector<double> L(4);
  const double cubic[4] = {0, 0, 0, 1};
  int rc = -1;
  BSbeztolgd(3, 1, cubic, L.data(), &rc);
  ASSERT_EQ(rc, 0);
  const double expected[4] = {0.25, 0.45, 0.25, 0.05};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(L[k], expected[k], 1e-16);

  // The same cubic elevated to degrees 4 .. 40 goes through the general scheme, with the fixed binomials up to
  // degree 7, a built table above and the fit beyond degree 30: the Legendre coefficients stay those of the
  // cubic, zeros above degree 3.
  std::vector<double> bez(cubic, cubic + 4);
  for (int d = 4; d <= 40; ++d) {
    std::vector<double> up(d + 1);
    BSbezelev(d - 1, bez.data(), up.data());
    bez = up;
    std::vector<double> out(d + 1, kNaN);
    BSbeztolgd(d, 1, bez.data(), out.data(), &rc);
    ASSERT_EQ(rc, 0) << "degree " << d;
    for (int k = 0; k <= d; ++k) EXPECT_NEAR(out[k], k < 4 ? expected[k] : 0.0, 1e-14) << "degree " << d << " k " << k;
  }
  // Degree -1 is the empty series; the arrays are not read.
  BSbeztolgd(-1, 3, nullptr, nullptr, &rc);
  EXPECT_EQ(rc, 0);
}

TEST(CompositeLegendre, AllocationLaysOutSpans) {
  const int live = BSdbgliveblocks();
  struct Row {
    int dim;
    std::vector<int> degrees, codes, strides;  // stride of span i: (d_i + 1) times its components
    int room;                                   // doubles the block holds
  } rows[] = {
      {2, {2, 1, 3}, {0, 1, 3}, {6, 6, 16}, 28},
      {2, {0, 4}, {2, 1}, {3, 15}, 18},
      {3, {3, 3}, {0, 1}, {12, 16}, 28},
      {4, {1, 2}, {1, 0}, {8, 9}, 22},  // laid out with 3 + code, sized with 4 + code
  };
  for (const Row &row : rows) {
    const int n = static_cast<int>(row.degrees.size());
    double **spans = nullptr;
    int rc = -1;
    BSallcmplgd(row.dim, n, row.degrees.data(), row.codes.data(), &spans, &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i + 1 < n; ++i) EXPECT_EQ(spans[i + 1] - spans[i], row.strides[i]) << "dim " << row.dim;
    // Zero-filled and as large as said (the sanitizers watch the last write).
    for (int j = 0; j < row.room; ++j) {
      EXPECT_EQ(spans[0][j], 0.0);
      spans[0][j] = j;
    }
    BSfreecmplgd(&spans);
    EXPECT_EQ(spans, nullptr);
  }

  int *degrees = nullptr, *codes = nullptr, *kinds = nullptr;
  double *breakpoints = nullptr;
  int rc = -1;
  BSalldeflgd(3, &degrees, &codes, &kinds, &breakpoints, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(degrees[i] + codes[i], 0);
    EXPECT_EQ(kinds[i], 1);
  }
  EXPECT_EQ(breakpoints[0] + breakpoints[1] + breakpoints[2] + breakpoints[3], 0.0);
  for (void *p : {static_cast<void *>(degrees), static_cast<void *>(codes), static_cast<void *>(kinds),
                  static_cast<void *>(breakpoints)})
    BSdbgfree(p);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(CompositeLegendre, RefusedArguments) {
  const std::vector<int> deg = {2, 1}, code_ok = {1, 0}, code_bad3 = {2, 0}, code_bad2 = {4, 0}, negative = {2, -1};
  const std::vector<double> blocks = {0, 1, 2, 0, 1, 0, 1, 1, 1}, knots = {0, 0, 0, 1, 1, 1};
  std::vector<double> nan_blocks = blocks;
  nan_blocks[4] = kNaN;
  const int live = BSdbgliveblocks();
  struct Row {
    const char *what;
    std::function<void(int *)> call;
    int rc;
  } rows[] = {
      {"composite of dimension 1",
       [&](int *rc) { double **s; BSallcmplgd(1, 2, deg.data(), code_ok.data(), &s, rc); }, -2},
      {"no spans", [&](int *rc) { double **s; BSallcmplgd(3, 0, deg.data(), code_ok.data(), &s, rc); }, -2},
      {"negative degree", [&](int *rc) { double **s; BSallcmplgd(3, 2, negative.data(), code_ok.data(), &s, rc); },
       -2},
      {"code 2 in space", [&](int *rc) { double **s; BSallcmplgd(3, 2, deg.data(), code_bad3.data(), &s, rc); }, -2},
      {"code 4 in the plane",
       [&](int *rc) { double **s; BSallcmplgd(2, 2, deg.data(), code_bad2.data(), &s, rc); }, -2},
      {"no pointer array", [&](int *rc) { BSallcmplgd(3, 2, deg.data(), code_ok.data(), nullptr, rc); }, 3},
      {"no per-span arrays",
       [&](int *rc) {
         int *a, *b, *c;
         double *d;
         BSalldeflgd(0, &a, &b, &c, &d, rc);
       },
       -2},
      {"rational plane curve", [&](int *rc) { Composite c(2, blocks, 3, 1, knots); *rc = c.rc; }, -2},
      {"space curve of dimension 4", [&](int *rc) { Composite c(4, blocks, 3, 0, knots); *rc = c.rc; }, -2},
      {"order 0", [&](int *rc) { Composite c(2, blocks, 0, 0, knots); *rc = c.rc; }, -2},
      {"fewer poles than the order", [&](int *rc) { Composite c(2, blocks, 4, 0, {0, 0, 0, 0, 1, 1, 1}); *rc = c.rc; },
       -2},
      {"NaN pole", [&](int *rc) { Composite c(3, nan_blocks, 3, 0, knots); *rc = c.rc; }, -2},
      {"no poles",
       [&](int *rc) {
         Composite c;
         BSbsp2cmlgd(3, 3, 3, 0, nullptr, knots.data(), &c.n, &c.degrees, &c.codes, &c.spans, &c.breakpoints,
                     c.range, rc);
         c.rc = *rc;
       },
       3},
      {"negative Bezier degree", [&](int *rc) { BSbeztolgd(-2, 1, nullptr, nullptr, rc); }, -2},
      {"Bezier degree 320", [&](int *rc) { BSbeztolgd(320, 1, nullptr, nullptr, rc); }, -2},
  };
  for (const Row &row : rows) {
    int rc = 12345;
    row.call(&rc);
    EXPECT_EQ(rc, row.rc) << row.what;
  }
  Composite c(2, blocks, 3, 1, knots);
  EXPECT_EQ(c.degrees, nullptr);
  EXPECT_EQ(c.codes, nullptr);
  EXPECT_EQ(c.breakpoints, nullptr);
  EXPECT_EQ(c.spans, nullptr);
  EXPECT_EQ(c.n, 0);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Spans at the distinct knots, empty knot intervals skipped; a point curve is one constant span.
TEST(CompositeLegendre, SpansOfACurve) {
  const int live = BSdbgliveblocks();
  {
    // Clamped cubic, one simple interior knot: two spans on [0, 1] and [1, 3]. Each span's ends are the
    // curve's Bezier end points.
    const std::vector<double> x = {0, 1, 2, 3, 4}, y = {0, 2, -1, 2, 0};
    std::vector<double> blocks = x;
    blocks.insert(blocks.end(), y.begin(), y.end());
    Composite c(2, blocks, 4, 0, {0, 0, 0, 0, 1, 3, 3, 3, 3});
    ASSERT_EQ(c.rc, 0);
    ASSERT_EQ(c.n, 2);
    EXPECT_EQ(std::vector<int>(c.degrees, c.degrees + 2), (std::vector<int>{3, 3}));
    EXPECT_EQ(std::vector<int>(c.codes, c.codes + 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(std::vector<double>(c.breakpoints, c.breakpoints + 3), (std::vector<double>{0, 1, 3}));
    EXPECT_EQ(c.range[0], 0.0);
    EXPECT_EQ(c.range[1], 3.0);
    EXPECT_EQ(c.spans[1] - c.spans[0], 8);
    EXPECT_NEAR(legendre_sum(3, c.spans[0], -1), 0.0, 1e-15);
    EXPECT_NEAR(legendre_sum(3, c.spans[1] + 4, 1), 0.0, 1e-15);
    EXPECT_NEAR(legendre_sum(3, c.spans[0], 1), legendre_sum(3, c.spans[1], -1), 1e-14) << "continuous at t = 1";
  }
  {
    // A double knot leaves one interval of five empty: four spans, the last pointer unused.
    const std::vector<double> knots = {0, 0, 0, 1, 2, 2, 3, 4, 4, 4};
    std::vector<double> blocks(21);
    for (int j = 0; j < 21; ++j) blocks[j] = (j % 7) * (j % 3 + 1);
    Composite c(3, blocks, 3, 0, knots);
    ASSERT_EQ(c.rc, 0);
    ASSERT_EQ(c.n, 4);
    EXPECT_EQ(std::vector<double>(c.breakpoints, c.breakpoints + 5), (std::vector<double>{0, 1, 2, 3, 4}));
  }
  struct PointRow {
    int dim;
    BSboolean rational;
    std::vector<double> blocks;
    std::vector<double> centroid;
  } points[] = {
      {3, 0, {5, 5 + 2e-7, 5, -1, -1, -1, 2, 2, 2 - 2e-7}, {5 + 2e-7 / 3, -1, 2 - 2e-7 / 3}},
      {3, 1, {10, 2.5, 5, 2, 0.5, 1, 0, 0, 0, 2, 0.5, 1}, {5, 1, 0}},
      {2, 0, {7, 7, 7, 0.5, 0.5, 0.5}, {7, 0.5}},
  };
  for (const PointRow &row : points) {
    Composite c(row.dim, row.blocks, 2, row.rational, {3, 3, 4, 5, 5});
    ASSERT_EQ(c.rc, 0);
    ASSERT_EQ(c.n, 1);
    EXPECT_EQ(c.degrees[0], 0);
    EXPECT_EQ(c.codes[0], 0) << "the weights are divided out";
    EXPECT_EQ(c.breakpoints[0], 0.0);
    EXPECT_EQ(c.breakpoints[1], 1.0);
    EXPECT_EQ(c.range[0], 0.0);
    EXPECT_EQ(c.range[1], 1.0);
    for (int k = 0; k < row.dim; ++k) EXPECT_NEAR(c.spans[0][k], row.centroid[k], 1e-15);
  }
  {
    // One weight below a quarter of the mean: the point test declines and the general path answers rc 0.
    const std::vector<double> blocks = {0, 0.1, 2, 0, 0.1, 0, 0, 0, 0, 1, 0.1, 1};
    Composite c(3, blocks, 3, 1, {0, 0, 0, 1, 1, 1});
    ASSERT_EQ(c.rc, 0);
    ASSERT_EQ(c.n, 1);
    EXPECT_EQ(c.degrees[0], 2);
    EXPECT_EQ(c.codes[0], 1);
    EXPECT_NEAR(legendre_sum(2, c.spans[0] + 9, 0), 0.55, 1e-15) << "the weight at the middle";
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Every allocation may fail: the code is -13 or 33, the per-span arrays are NULL, and after the caller's
// BSfreecmplgd nothing is left. A failure inside the point test only chooses the general path.
TEST(CompositeLegendre, EveryAllocationFailureIsClean) {
  const int live = BSdbgliveblocks();
  for (int at = 1; at <= 2; ++at) {
    const int degrees[2] = {3, 3}, codes[2] = {1, 1};
    double **spans = nullptr;
    int rc = 0;
    BSallocfailat(at);
    BSallcmplgd(3, 2, degrees, codes, &spans, &rc);
    BSallocfailat(0);
    EXPECT_EQ(rc, -13);
    EXPECT_EQ(spans != nullptr, at == 2) << "the pointer array stays with the caller";
    BSfreecmplgd(&spans);
  }
  for (int at = 1; at <= 4; ++at) {
    int *arrays[3] = {nullptr, nullptr, nullptr};
    double *breakpoints = nullptr;
    int rc = 0;
    BSallocfailat(at);
    BSalldeflgd(5, &arrays[0], &arrays[1], &arrays[2], &breakpoints, &rc);
    BSallocfailat(0);
    EXPECT_EQ(rc, -13);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(arrays[i] != nullptr, i + 1 < at) << "array " << i << " at " << at;
    EXPECT_EQ(breakpoints, nullptr);
    for (int *p : arrays) BSdbgfree(p);
  }
  EXPECT_EQ(BSdbgliveblocks(), live);

  // Large enough that the pole scratch and the point test go to the heap; one curve a point, one not.
  const int n = 300;
  std::vector<double> knots;
  for (int i = 0; i < 4; ++i) knots.push_back(0);
  for (int i = 1; i <= n - 4; ++i) knots.push_back(i);
  for (int i = 0; i < 4; ++i) knots.push_back(n - 3);
  for (bool point : {false, true}) {
    std::vector<double> blocks(4 * n);
    for (int j = 0; j < n; ++j) {
      blocks[j] = point ? 1.0 : std::sin(j);
      blocks[n + j] = point ? 2.0 : std::cos(3.0 * j);
      blocks[2 * n + j] = point ? 3.0 : j;
      blocks[3 * n + j] = 1.0;
    }
    int reached_failures = 0;
    for (int at = 1; at < 60; ++at) {
      Composite c;
      BSallocfailat(at);
      c.convert(3, blocks, 4, 1, knots);
      const bool reached = BSallocfailpending() == 0;
      BSallocfailat(0);
      if (!reached) {
        ASSERT_EQ(c.rc, 0);
        break;
      }
      ++reached_failures;
      if (c.rc == 0) {
        EXPECT_EQ(c.n, n - 3) << "allocation " << at << " failed inside the point test";
        EXPECT_EQ(c.degrees[0], 3) << "allocation " << at << ": the general path";
        continue;
      }
      EXPECT_TRUE(c.rc == -13 || c.rc == 33) << "allocation " << at << ": rc " << c.rc;
      EXPECT_EQ(c.degrees, nullptr);
      EXPECT_EQ(c.codes, nullptr);
      EXPECT_EQ(c.breakpoints, nullptr);
      EXPECT_EQ(c.n, 0);
    }
    EXPECT_GE(reached_failures, 6);
    EXPECT_EQ(BSdbgliveblocks(), live);
    EXPECT_EQ(BSscratchheapblocks(), 0);
  }
}

}  // namespace
