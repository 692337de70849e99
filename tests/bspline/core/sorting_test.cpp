#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

namespace {

TEST(Sorting, TagsAscendingAndStable) {
  int rc = 0, n = 3;
  const double keys[3] = {3, 1, 2};
  int tags[3];
  ASSERT_EQ(BStagsort(&rc, &n, keys, tags), BSTRUE);
  EXPECT_EQ(tags[0], 1);
  EXPECT_EQ(tags[1], 2);
  EXPECT_EQ(tags[2], 0);
  const double equal[4] = {5, 5, 5, 5};
  n = 4;
  int t4[4];
  BStagsort(&rc, &n, equal, t4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t4[i], i);
  n = 1;
  BStagsort(&rc, &n, keys, tags);
  EXPECT_EQ(tags[0], 0);
  n = 0;
  EXPECT_EQ(BStagsort(&rc, &n, keys, tags), BSFALSE);
  EXPECT_EQ(rc, -2);
}

// The tag order that adjacent swaps of strictly greater keys give: stable, and for a NaN the order it leaves.
std::vector<int> bubble_tags(const std::vector<double> &keys) {
  std::vector<int> t(keys.size());
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<int>(i);
  for (size_t last = t.size(); last-- > 1;)
    for (size_t i = 0; i < last; ++i)
      if (keys[t[i]] > keys[t[i + 1]]) std::swap(t[i], t[i + 1]);
  return t;
}

TEST(Sorting, TagsMatchAdjacentSwapsOnTiesSignedZerosInfinitiesAndNaN) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> few(0, 3);
  std::vector<std::vector<double>> tables = {
      {0.0, -0.0, 0.0, -0.0},                         // signed zeros are one key
      {INFINITY, -INFINITY, 1, INFINITY, -INFINITY},  // infinities with their ties
      {2, 1, NAN, 0, 1, NAN, -1},                     // a NaN stops nothing and moves nowhere of its own
      {NAN, 3, 2, 1},
      {1, 2, 3, 4, 0.5, 1.5, 2.5, 3.5, 4.5},  // two ascending runs, as the offset check hands them
  };
  for (int n : {2, 17, 300}) {  // many ties among few keys
    std::vector<double> k(n);
    for (double &x : k) x = few(rng);
    tables.push_back(k);
  }
  for (const auto &keys : tables) {
    const int n = static_cast<int>(keys.size());
    std::vector<int> tags(n, -1);
    int rc = -99;
    ASSERT_EQ(BStagsort(&rc, &n, keys.data(), tags.data()), BSTRUE);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tags, bubble_tags(keys)) << n;
  }
}

TEST(Sorting, QuicksortOnRandomAndOnLongSortedInput) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> d(-50, 50);
  for (int n : {1, 2, 7, 100, 1000}) {
    std::vector<double> a(n);
    for (double &x : a) x = d(rng);
    std::vector<double> ref = a;
    std::sort(ref.begin(), ref.end());
    int rc = 0, lo = 0, hi = n - 1;
    BSquicksort(&rc, &lo, &hi, 0, a.data());
    EXPECT_EQ(a, ref);
  }
  // Already sorted: the pivot is always the smallest, yet the stack stays shallow (a recursion per element
  // would overrun a 1 MB thread stack here).
  std::vector<double> a(30000);
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<double>(i);
  int rc = 0, lo = 0, hi = static_cast<int>(a.size()) - 1;
  BSquicksort(&rc, &lo, &hi, 0, a.data());
  EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
  // Only part of the array.
  std::vector<double> part = {9, 8, 7, 6, 5};
  lo = 1, hi = 3;
  BSquicksort(&rc, &lo, &hi, 0, part.data());
  EXPECT_EQ(part, (std::vector<double>{9, 6, 7, 8, 5}));
}

struct Rec {
  double key;
  double id;
};
static_assert(sizeof(Rec) == 16);

int by_key(const void *a, const void *b, int *rc) {
  *rc = 0;
  const double ka = static_cast<const Rec *>(a)->key, kb = static_cast<const Rec *>(b)->key;
  return ka < kb ? -1 : ka > kb ? 1 : 0;
}

int calls_left = 0;
int failing(const void *a, const void *b, int *rc) {
  if (--calls_left == 0) {
    *rc = 99;
    return 0;
  }
  return by_key(a, b, rc);
}

TEST(Sorting, RecordsByComparatorAtEveryCutoff) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> d(0, 20);
  for (int cutoff : {0, 1, 5, 20, 1000})
    for (int n : {0, 1, 2, 3, 19, 20, 21, 300}) {
      std::vector<Rec> recs(n);
      for (int i = 0; i < n; ++i) recs[i] = {static_cast<double>(d(rng)), static_cast<double>(i)};
      std::vector<Rec> orig = recs;
      int rc = 0;
      BSsort(cutoff, by_key, n, recs.data(), &rc);
      ASSERT_EQ(rc, 0);
      for (int i = 1; i < n; ++i) ASSERT_LE(recs[i - 1].key, recs[i].key) << cutoff << " " << n;
      // A permutation of the input.
      std::vector<double> ids, oids;
      for (int i = 0; i < n; ++i) ids.push_back(recs[i].id), oids.push_back(orig[i].id);
      std::sort(ids.begin(), ids.end());
      EXPECT_EQ(ids, oids);
    }
  // All equal: nothing moves.
  std::vector<Rec> same(50, Rec{1, 0});
  for (int i = 0; i < 50; ++i) same[i].id = i;
  int rc = 0;
  BSsort(5, by_key, 50, same.data(), &rc);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(same[i].id, i);
}

TEST(Sorting, ComparatorFailureStopsTheSort) {
  std::vector<Rec> recs(100);
  for (int i = 0; i < 100; ++i) recs[i] = {static_cast<double>(100 - i), static_cast<double>(i)};
  calls_left = 30;
  int rc = 0;
  BStraceclear();
  BSsort(10, failing, 100, recs.data(), &rc);
  EXPECT_EQ(rc, 99);
  EXPECT_EQ(calls_left, 0);  // not one call after the failure
  ASSERT_EQ(BStracecount(), 1);
  EXPECT_STREQ(BStracetable()[0].name, "BSsort");
  BStraceclear();
}

TEST(Sorting, PointPointersLexicographically) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> d(0, 3);
  std::vector<double> pts(3 * 400);
  for (double &x : pts) x = d(rng);
  std::vector<const double *> ptrs;
  for (int i = 0; i < 400; ++i) ptrs.push_back(&pts[3 * i]);
  int rc = 0;
  BSsorttrpls(400, ptrs.data(), &rc);  // 6400 bytes of records: the heap serves them
  ASSERT_EQ(rc, 0);
  for (int i = 1; i < 400; ++i) ASSERT_LE(BStrplcomp(ptrs[i - 1], ptrs[i], &rc), 0);
  std::sort(ptrs.begin(), ptrs.end());
  for (int i = 0; i < 400; ++i) EXPECT_EQ(ptrs[i], &pts[3 * i]);  // the same pointers
  const double a[3] = {1, 2, 3}, b[3] = {1, 2, 4};
  EXPECT_EQ(BStrplcomp(a, b, &rc), -1);
  EXPECT_EQ(BStrplcomp(b, a, &rc), 1);
  EXPECT_EQ(BStrplcomp(a, a, &rc), 0);
  BSallocfailat(1);
  BSsorttrpls(400, ptrs.data(), &rc);
  EXPECT_EQ(rc, 33);
}

}  // namespace
