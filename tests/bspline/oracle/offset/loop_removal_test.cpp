// Loop removal against OpenCASCADE: the result no longer meets itself, and every point of it lies on the input.
#include <gtest/gtest.h>

#include <Geom2dAPI_ProjectPointOnCurve.hxx>

#include "bspline/offset.h"
#include "tests/bspline/oracle/looping_curves.h"

namespace {

std::unique_ptr<TestCurve> FromRecord(const VOQbsp_curve &cv) {
  std::vector<double> poles, knots(cv.knots, cv.knots + cv.num_poles + cv.order), w;
  for (int i = 0; i < cv.num_poles; ++i) {
    const double wi = cv.rational ? cv.weights[i] : 1.0;
    poles.insert(poles.end(), {cv.poles[3 * i] / wi, cv.poles[3 * i + 1] / wi, cv.poles[3 * i + 2] / wi});
    if (cv.rational) w.push_back(wi);
  }
  return std::make_unique<TestCurve>(cv.order, poles, knots, w);
}

TEST(LoopRemovalOracle, NoSelfIntersectionLeftAndOnTheInput) {
  std::mt19937 rng(90);
  std::vector<std::unique_ptr<TestCurve>> curves;
  curves.push_back(std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 3, 3, 0, -1, 3, 0, 2, 0, 0},
                                               std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}));
  for (int trial = 0; trial < 28; ++trial) curves.push_back(loops::LoopingCubic(rng, 2 + trial % 7, 60, 1.6 + 0.1 * (trial % 5)));
  int removed = 0, most = 0;
  for (size_t t = 0; t < curves.size(); ++t) {
    TestCurve &c = *curves[t];
    bool segments = false;
    const int before = static_cast<int>(loops::OcctSelfCrossings(c, &segments).size() / 2);
    if (segments) continue;
    int rc = 0, n = 0;
    VOQbsp_curve *out = nullptr, **list = nullptr;
    BSofrmlp3(&c.cv, 2, &n, &list, &out, &rc);
    ASSERT_EQ(rc, 0) << t;
    auto kept = FromRecord(*out);
    BSfreevoqcv(out, &rc);
    EXPECT_EQ(kept->start(), c.start()) << t;
    EXPECT_EQ(kept->end(), c.end()) << t;
    const Handle(Geom2d_BSplineCurve) in = cvpairs::Occt(c), res = cvpairs::Occt(*kept);
    Geom2dAPI_InterCurveCurve self(res, 1e-6);
    EXPECT_EQ(self.NbPoints(), 0) << t;
    EXPECT_EQ(self.NbSegments(), 0) << t;
    for (int i = 0; i <= 200; ++i) {
      double p[3];
      ref_point(*kept, i == 200 ? kept->end() : kept->start() + (kept->end() - kept->start()) * i / 200, p);
      // The ends have no perpendicular foot when the curve runs on away from them.
      const gp_Pnt2d q(p[0], p[1]);
      Geom2dAPI_ProjectPointOnCurve foot(q, in);
      double d = std::min(q.Distance(in->Value(c.start())), q.Distance(in->Value(c.end())));
      if (foot.NbPoints() > 0) d = std::min(d, foot.LowerDistance());
      EXPECT_LE(d, 1e-9) << t << " " << i;
    }
    removed += before;
    most = std::max(most, before);
  }
  EXPECT_GE(removed, 40);
  EXPECT_GE(most, 4);
}

}  // namespace
