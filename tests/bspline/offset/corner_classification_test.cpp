// The corner codes of three points seen from the offset side.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bspline/offset.h"

namespace {

using Vec = std::vector<double>;

TEST(CornerClassification, Kinds) {
  const double z[3] = {0, 0, 1}, zneg[3] = {0, 0, -1}, x[3] = {1, 0, 0}, tilted[3] = {0, 1, 1}, nan[3] = {0, 0, NAN};
  const struct {
    Vec p0, p1, p2;
    const double *normal;
    int side, rc, kind;
  } cases[] = {
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, z, 1, 0, 1},     // straight on
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, z, 1, 0, 1},     // turns back, p2 well away from p0
      {{0, 0, 0}, {1, 1, 0}, {4e-7, 0, 0}, z, 1, 0, 3},  // folds back onto p0
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, z, 1, 0, 3},     // left turn, offset on the left
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, z, -1, 0, 2},
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, zneg, 1, 0, 2},
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, x, 1, 0, 2},     // cross product perpendicular to the normal
      {{1, 0, 0}, {1, 0, 0}, {2, 1, 0}, z, 1, 0, 1},     // zero-length legs
      {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, z, 1, 0, 1},
      {{0, 0, 0}, {1e200, 0, 0}, {1e200, 1e200, 1e200}, tilted, 1, 0, 2},  // the product overflows to NaN
      {{0, 0, 0}, {1, NAN, 0}, {1, 1, 0}, z, 1, -2, -9},
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, nan, 1, -2, -9},
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, nullptr, 1, 3, -9},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(&c - cases);
    int rc = 99, kind = -9;
    const BSboolean ok = BSzigzag(&rc, c.p0.data(), c.p1.data(), c.p2.data(), c.normal, &c.side, &kind);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(ok, c.rc == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(kind, c.kind);
  }
}

}  // namespace
