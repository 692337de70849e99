#include <gtest/gtest.h>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

namespace {

class Tolerances : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int i = 0; i < BSTOL_COUNT; ++i) BStoltab[i] = BStoldefault(i);
    BStraceclear();
  }
};

TEST_F(Tolerances, InitialTableAndNames) {
  const double expected[19] = {5e-7, 1e-6, 1e-12, 5e-11, 5e-7, 2.5e-13, 1e-9, 1e-6,  1e-6,  1e-3,
                               1e-3, 1e-2, 1e-6,  1e-7,  0.25, 1e-3,    1e-14, 0.41421356237309503, 1e-6};
  for (int i = 0; i < 19; ++i) EXPECT_EQ(BStoltab[i], expected[i]) << i;
  EXPECT_DOUBLE_EQ(BStoltab[17] * BStoltab[17] + 2 * BStoltab[17], 1.0);  // sqrt(2) - 1
  EXPECT_STREQ(BStolname(1), "dist_tol");
  EXPECT_STREQ(BStolname(2), "dist_sqtol");
  EXPECT_STREQ(BStolname(9), "offset_tol");
  EXPECT_STREQ(BStolname(10), "chrdht_tol");
  EXPECT_STREQ(BStolname(12), "basis_tol");
  int named = 0;
  for (int i = 0; i < 19; ++i) named += BStolname(i) != nullptr;
  EXPECT_EQ(named, 5);
  EXPECT_EQ(BStolindex("basis_tol"), bstol::basis_tol);
  EXPECT_EQ(BStolindex("dist_sqtol"), bstol::dist_sqtol);
  EXPECT_EQ(BStolindex("knot_tol"), -1);
  EXPECT_EQ(BStolname(19), nullptr);
}

TEST_F(Tolerances, ChangeparRefusesIndicesOutsideTheTable) {
  int rc = 0;
  BStraceclear();
  EXPECT_EQ(BSchangepar(&rc, 19, 5.0), BSFALSE);
  EXPECT_EQ(rc, 27);
  EXPECT_EQ(BSchangepar(&rc, -1, 5.0), BSFALSE);
  EXPECT_EQ(rc, 27);
  EXPECT_EQ(BStracecount(), 2);
  EXPECT_STREQ(BStracetable()[0].name, "BSchangepar");
  for (int i = 0; i < 19; ++i) EXPECT_EQ(BStoltab[i], BStoldefault(i));
  EXPECT_EQ(BSchangepar(&rc, 18, 5.0), BSTRUE);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(BStoltab[18], 5.0);
}

TEST_F(Tolerances, DependentEntriesFollowBasisTol) {
  int rc = 0;
  // Entries that the setter must not touch carry markers.
  for (int i : {9, 10, 11, 14, 15, 17}) BStoltab[i] = 100 + i;
  const double t = 1e-4;
  EXPECT_EQ(BSchgdeppar(t, &rc), BSTRUE);
  EXPECT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(BStoltab[0], t / 2);
  EXPECT_DOUBLE_EQ(BStoltab[1], t);
  EXPECT_DOUBLE_EQ(BStoltab[2], t * t);
  EXPECT_DOUBLE_EQ(BStoltab[3], t / 2);
  EXPECT_DOUBLE_EQ(BStoltab[4], t / 2);
  EXPECT_DOUBLE_EQ(BStoltab[5], t * t / 4);
  EXPECT_DOUBLE_EQ(BStoltab[6], t / 1000);
  EXPECT_DOUBLE_EQ(BStoltab[7], t);
  EXPECT_DOUBLE_EQ(BStoltab[8], t);
  EXPECT_DOUBLE_EQ(BStoltab[12], t);
  EXPECT_DOUBLE_EQ(BStoltab[13], t / 10);
  EXPECT_DOUBLE_EQ(BStoltab[16], t * t / 100);
  EXPECT_DOUBLE_EQ(BStoltab[18], t);
  for (int i : {9, 10, 11, 14, 15, 17}) EXPECT_EQ(BStoltab[i], 100 + i);
}

TEST_F(Tolerances, DefaultBasisTolRestoresTheTableButEntryThree) {
  int rc = 0;
  EXPECT_EQ(BSchgdeppar(1e-3, &rc), BSTRUE);
  EXPECT_EQ(BSchgdeppar(1e-6, &rc), BSTRUE);
  for (int i = 0; i < 19; ++i) {
    if (i == 3)
      EXPECT_DOUBLE_EQ(BStoltab[i], 5e-7);
    else
      EXPECT_DOUBLE_EQ(BStoltab[i], BStoldefault(i)) << i;
  }
}

}  // namespace
