// The output half of the curve/curve intersection call for tests: the caller's arrays (filled with a sentinel so
// that an unwritten array shows), the outputs, and the release of whatever the routine allocated.
#pragma once

#include <algorithm>
#include <vector>

#include "bspline/intersect.h"

constexpr double kUnwritten = -12345.25;

struct CallResults {
  int int_size, over_size;
  std::vector<double> ip, i1, i2, op, o1, o2;
  int n_int = -1, n_over = -1, rc = 99;
  BSboolean int_alloc = 7, over_alloc = 7;
  double *a[6] = {};

  CallResults(int isz, int osz)
      : int_size(isz), over_size(osz), ip(3 * std::max(isz, 0) + 1, kUnwritten), i1(std::max(isz, 0) + 1, kUnwritten),
        i2(i1), op(6 * std::max(osz, 0) + 1, kUnwritten), o1(2 * std::max(osz, 0) + 1, kUnwritten), o2(o1) {}
  CallResults(const CallResults &) = delete;
  CallResults &operator=(const CallResults &) = delete;
  ~CallResults() {
    for (double *p : a)
      if (p) BSdbgfree(p);
  }

  // The results wherever they landed.
  const double *pts() const { return int_alloc ? a[0] : ip.data(); }
  const double *par1() const { return int_alloc ? a[1] : i1.data(); }
  const double *par2() const { return int_alloc ? a[2] : i2.data(); }
  const double *over_pts() const { return over_alloc ? a[3] : op.data(); }
  const double *over_par1() const { return over_alloc ? a[4] : o1.data(); }
  const double *over_par2() const { return over_alloc ? a[5] : o2.data(); }
  static bool unwritten(const std::vector<double> &v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return x == kUnwritten; });
  }

  void lsls(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist) {
    BSlsls_int(cv1, cv2, merge_by_dist, int_size, over_size, ip.data(), i1.data(), i2.data(), op.data(), o1.data(),
               o2.data(), &n_int, &n_over, &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &rc);
  }
  void cvcv(VOQbsp_curve *cv1, VOQbsp_curve *cv2, BSboolean merge_by_dist) {
    BScvcvint(cv1, cv2, merge_by_dist, int_size, over_size, ip.data(), i1.data(), i2.data(), op.data(), o1.data(),
              o2.data(), &n_int, &n_over, &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &rc);
  }
  void lnln(const double s1[6], const double s2[6], const double k1[4], const double k2[4]) {
    BSlnln_int(s1, s2, k1, k2, int_size, over_size, ip.data(), i1.data(), i2.data(), op.data(), o1.data(),
               o2.data(), &n_int, &n_over, &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &rc);
  }
  // The accumulators: points (pts, par1, par2) and overlaps (over_pts, over_par1, over_par2).
  void sort(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, BSboolean merge_by_dist, BSboolean swapped,
            double tol1, double tol2, const std::vector<double> &pts, const std::vector<double> &par1,
            const std::vector<double> &par2, const std::vector<double> &over_pts, const std::vector<double> &over_par1,
            const std::vector<double> &over_par2) {
    BScvcv_sort(cv1, cv2, merge_by_dist, swapped, tol1, tol2, static_cast<int>(par1.size()),
                static_cast<int>(over_par1.size() / 2), pts.data(), par1.data(), par2.data(), over_pts.data(),
                over_par1.data(), over_par2.data(), int_size, over_size, ip.data(), i1.data(), i2.data(), op.data(),
                o1.data(), o2.data(), &n_int, &n_over, &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4],
                &a[5], &rc);
  }
};
