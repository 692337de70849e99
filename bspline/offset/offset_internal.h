// Pieces shared by the offset routines; not for callers outside bspline/offset/.
#pragma once

#include "bspline/bspline.h"

namespace bsoffset {

// Offset pieces are cut against each other in the xy projection of their local frame, and their own z must come
// back unchanged on every way out: the z coordinates of a curve's poles set aside (local room for 100 poles, then
// stack or heap) while the curve lies flat. Restoring writes them back once; the destructor restores what was not
// restored yet, so that a failure anywhere leaves the curve's z as it was.
class FlatZ {
 public:
  FlatZ() = default;
  FlatZ(const FlatZ &) = delete;
  FlatZ &operator=(const FlatZ &) = delete;
  ~FlatZ() { restore(); }

  // False (nothing changed) when no scratch memory can be had.
  bool flatten(VOQbsp_curve *cv) {
    restore();
    const int n = cv->num_poles > 0 ? cv->num_poles : 0;
    double *z = store_.take(static_cast<std::size_t>(n));
    if (!z) return false;
    for (int i = 0; i < n; ++i) z[i] = cv->poles[3 * i + 2], cv->poles[3 * i + 2] = 0.0;
    cv_ = cv, n_ = n, z_ = z;
    return true;
  }
  void restore() {
    if (!cv_) return;
    for (int i = 0; i < n_; ++i) cv_->poles[3 * i + 2] = z_[i];
    cv_ = nullptr;
  }

 private:
  BSscratch<100> store_;
  VOQbsp_curve *cv_ = nullptr;
  int n_ = 0;
  double *z_ = nullptr;
};

// A curve record released on every way out.
struct OwnedCurve {
  VOQbsp_curve *cv = nullptr;
  OwnedCurve() = default;
  OwnedCurve(const OwnedCurve &) = delete;
  OwnedCurve &operator=(const OwnedCurve &) = delete;
  // Releases the record; its code, when nonzero.
  int release() {
    int code = 0;
    if (cv) BSfreevoqcv(cv, &code);
    cv = nullptr;
    return code;
  }
  ~OwnedCurve() { release(); }
};

}  // namespace bsoffset
