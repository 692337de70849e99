#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/even_weights_internal.h"

namespace {

struct Seen {
  std::vector<double> poles;
  double a, b, spread;
};

// Keeps every part; answers `stop_with` at part `stop_at`.
class Record final : public bseven::Parts {
 public:
  Record(int degree, int nc, bool right_first) : degree_(degree), nc_(nc), right_first_(right_first) {}
  int part(const double *poles, double a, double b, const double *l, int e) override {
    seen.push_back({std::vector<double>(poles, poles + nc_ * (degree_ + 1)), a, b, bseven::spread_at(degree_, l, e)});
    return static_cast<int>(seen.size()) == stop_at ? stop_with : 0;
  }
  bool right_first(const double *, const double *) override { return right_first_; }

  std::vector<Seen> seen;
  int stop_at = -1, stop_with = 0;

 private:
  int degree_, nc_;
  bool right_first_;
};

// The span's weight at its parameter t, 1 - t given apart as u.
double Weight(const std::vector<double> &w, long double t, long double u) {
  const int d = static_cast<int>(w.size()) - 1;
  long double sum = 0, binomial = 1;
  for (int j = 0; j <= d; ++j) {
    sum += w[j] * binomial * std::pow(t, j) * std::pow(u, d - j);
    binomial = binomial * (d - j) / (j + 1);
  }
  return static_cast<double>(sum);
}

// Weighted planar poles over the given weights, component-major with the weights last.
std::vector<double> Span(const std::vector<double> &w, std::mt19937 &rng) {
  const int k = static_cast<int>(w.size());
  std::vector<double> cm(3 * k);
  std::uniform_real_distribution<double> x(-10, 10);
  for (int j = 0; j < k; ++j) cm[j] = x(rng) * w[j], cm[k + j] = x(rng) * w[j], cm[2 * k + j] = w[j];
  return cm;
}

TEST(EvenWeights, PartsTileTheRangeInOrderAndJoinAtTheirEndPoles) {
  std::vector<double> alternating(16);
  for (int j = 0; j < 16; ++j) alternating[j] = j % 2 ? 1e3 : 1e-3;
  std::vector<double> halving = {1.54415e-28, 4.26643e97};
  for (int j = 2; j < 14; ++j) halving.push_back(halving.back() / 2);
  const struct {
    const char *name;
    std::vector<double> w;
    double a, b;
    int least, most;  // parts
    bool deep;        // some part stops kEvenDepth cuts deep, its weights still uneven
  } rows[] = {
      {"end weight 1e-15", {1e-15, 1, 1}, 0, 1, 2, 16, false},
      {"both end weights 1e-13, own range", {1e-13, 2, 0.5, 1e-13}, -2, 5, 3, 36, false},
      {"degree 15, weights 1e-3 and 1e3 in turn", alternating, 0, 1, 2, 32, false},
      {"geometric weights evened whole", {1e-200, 1, 1e200}, 0, 1, 1, 1, false},
      {"end weight 1e-300 beside equal ones", {1e-300, 1, 1}, 0, 1, 2, 256, false},
      {"end weight 1e-28 beside 4e97, then halving, degree 13", halving, 0, 1, 2, 512, true},
  };
  std::mt19937 rng(7);
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    const int degree = static_cast<int>(row.w.size()) - 1, k = degree + 1;
    const std::vector<double> span = Span(row.w, rng);
    std::vector<Seen> first_seen;
    for (bool right_first : {false, true}) {
      SCOPED_TRACE(right_first ? "right first" : "left first");
      Record parts(degree, 3, right_first);
      ASSERT_EQ(bseven::descend(degree, 3, span.data(), row.a, row.b, parts), 0);
      std::vector<Seen> seen = parts.seen;
      if (right_first) std::reverse(seen.begin(), seen.end());
      ASSERT_GE(static_cast<int>(seen.size()), row.least);
      ASSERT_LE(static_cast<int>(seen.size()), row.most);
      // In order of the range, each part starting where the one before ends, at the very pole it ends on.
      EXPECT_EQ(seen.front().a, row.a);
      EXPECT_EQ(seen.back().b, row.b);
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(seen.front().poles[c * k], span[c * k]);
        EXPECT_EQ(seen.back().poles[c * k + degree], span[c * k + degree]);
      }
      int uneven = 0;
      for (std::size_t i = 0; i < seen.size(); ++i) {
        uneven += seen[i].spread > bseven::kEvenSpread;
        EXPECT_LE(seen[i].a, seen[i].b);
        // A part's first pole is the span's at the start of its range (the ends of a range are rounded to the
        // span's range, which a part beside an end weight of 1e-13 feels in the fifth digit).
        const long double width = row.b - row.a, t = (seen[i].a - row.a) / width, u = (row.b - seen[i].a) / width;
        EXPECT_NEAR(seen[i].poles[2 * k] / Weight(row.w, t, u), 1, 1e-4) << i;
        if (i == 0) continue;
        EXPECT_EQ(seen[i].a, seen[i - 1].b) << i;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(seen[i].poles[c * k], seen[i - 1].poles[c * k + degree]) << i;
      }
      EXPECT_EQ(uneven > 0, row.deep) << uneven;
      // Which part comes first changes nothing else.
      if (!right_first) {
        first_seen = seen;
      } else {
        ASSERT_EQ(seen.size(), first_seen.size());
        for (std::size_t i = 0; i < seen.size(); ++i) {
          EXPECT_EQ(seen[i].a, first_seen[i].a);
          EXPECT_EQ(seen[i].poles, first_seen[i].poles);
        }
      }
    }
  }
}

TEST(EvenWeights, DescentStopsAtTheFirstNonzeroAnswerAndOnWeightsNotPositive) {
  std::mt19937 rng(8);
  const std::vector<double> span = Span({1e-15, 1, 1}, rng);
  Record parts(2, 3, false);
  parts.stop_at = 2, parts.stop_with = 7;
  EXPECT_EQ(bseven::descend(2, 3, span.data(), 0, 1, parts), 7);
  EXPECT_EQ(parts.seen.size(), 2u);

  for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
    std::vector<double> w = {1e-15, bad, 1};
    const std::vector<double> wrong = Span(w, rng);
    Record none(2, 3, false);
    EXPECT_EQ(bseven::descend(2, 3, wrong.data(), 0, 1, none), BSRC_OUT_OF_RANGE) << bad;
    EXPECT_TRUE(none.seen.empty());
  }
}

}  // namespace
