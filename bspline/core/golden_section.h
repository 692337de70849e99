// The golden-section narrowing shared by the searches that settle a bracket found by sampling; not for callers
// outside bspline/.
#pragma once

namespace bsgolden {

// (sqrt(5) - 1) / 2: each step keeps one inner point and measures one new one.
inline constexpr double kRatio = 0.6180339887498949;

// The two inner points last measured, with their values.
struct Inner {
  double x1, f1, x2, f2;
};

// Narrows [lo, hi] about the top of f (which rises, then falls there) for at most max_steps steps, while
// go(lo, x1, x2, hi) holds. A tie keeps the lower part.
template <class F, class Go>
Inner narrow_to_top(F f, double lo, double hi, int max_steps, Go go) {
  Inner in{hi - kRatio * (hi - lo), 0, lo + kRatio * (hi - lo), 0};
  in.f1 = f(in.x1);
  in.f2 = f(in.x2);
  for (int step = 0; step < max_steps && go(lo, in.x1, in.x2, hi); ++step) {
    if (in.f1 < in.f2) {
      lo = in.x1, in.x1 = in.x2, in.f1 = in.f2, in.x2 = lo + kRatio * (hi - lo), in.f2 = f(in.x2);
    } else {
      hi = in.x2, in.x2 = in.x1, in.f2 = in.f1, in.x1 = hi - kRatio * (hi - lo), in.f1 = f(in.x1);
    }
  }
  return in;
}

}  // namespace bsgolden
