// Polynomial series of any degree and coefficients moved between the Legendre, power, Chebyshev and Bernstein
// bases, and the roots of a Legendre series. On finite coefficients an answer of rc 0 is the same polynomial,
// judged by evaluating both sides here by their own recurrences at points of the interval, within the rounding
// the conversion's terms carry; the roots are ascending points of [-1, 1] where the series vanishes within its
// tolerance, and no clear change of sign between samples lacks a root.
#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

double chebyshev(int n, const double *c, double t) {
  double sum = 0;
  for (int j = 0; j <= n; ++j) sum += c[j] * std::cos(j * std::acos(std::clamp(t, -1.0, 1.0)));
  return sum;
}

double power(int n, const double *c, double t) {
  double v = 0;
  for (int j = n; j >= 0; --j) v = v * t + c[j];
  return v;
}

double bernstein(int n, std::vector<double> b, double u) {
  for (int r = 1; r <= n; ++r)
    for (int i = 0; i + r <= n; ++i) b[i] = (1 - u) * b[i] + u * b[i + 1];
  return n >= 0 ? b[0] : 0;
}

double abs_sum(int n, const double *c) {
  double s = 0;
  for (int j = 0; j <= n; ++j) s += std::fabs(c[j]);
  return s;
}

// The sums of the absolute power coefficients of P_0 .. P_n: the growth a Legendre-to-power conversion carries.
std::vector<double> power_growth(int n) {
  std::vector<std::vector<double>> p(2, std::vector<double>(n + 2, 0.0));
  std::vector<double> growth;
  p[0][0] = 1;
  p[1][1] = 1;
  for (int j = 0; j <= n; ++j) {
    if (j >= 2) {
      std::vector<double> next(n + 2, 0.0);
      for (int k = 0; k <= j; ++k)
        next[k] = ((k > 0 ? (2 * j - 1) * p[1][k - 1] : 0) - (j - 1) * p[0][k]) / j;
      p[0] = p[1], p[1] = next;
    }
    growth.push_back(abs_sum(n + 1, j == 0 ? p[0].data() : p[1].data()));
  }
  return growth;
}

constexpr double kSamples[] = {-1, -0.9, -0.5, -0.1, 0, 0.3, 0.7, 0.95, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  const int n = (opts & 1) ? 200 + in.byte() % 130 : static_cast<std::int8_t>(in.byte());
  const int count = std::max(n, -1) + 1;
  std::vector<double> c(count + 1);
  for (int j = 0; j < count; ++j) c[j] = in.number();
  const double root_tol = in.number();
  const bool finite = fuzz::finite(c.data(), count);
  bool moderate = finite;
  for (int j = 0; j < count; ++j) moderate = moderate && std::fabs(c[j]) <= 1e6;
  const double size_c = abs_sum(n, c.data());
  // Under the normal range rounding is absolute, a subnormal step per operation, however small the terms.
  const double sub = 64 * (std::max(n, 0) + 2) * std::numeric_limits<double>::denorm_min();
  BStraceclear();
  const fuzz::BlockCount blocks;
  std::vector<double> out(std::max(count, 1) + 1, -777), back(std::max(count, 1) + 1, -777);
  int rc = 0;

  if (n <= 63) {
    BSlgdtcan(n, c.data(), out.data(), &rc);
    if (rc == 0 && moderate && n >= 0) {
      const std::vector<double> growth = power_growth(n);
      double carried = 0;
      for (int j = 0; j <= n; ++j) carried += std::fabs(c[j]) * growth[j];
      for (double t : kSamples)
        FUZZ_CHECK(std::fabs(power(n, out.data(), t) - fuzz::legendre_value(n, c.data(), t)) <= 8 * (n + 2) * kEps * carried + sub);
    }
  }
  if (n <= 127) {
    BScantlgd(n, c.data(), out.data(), &rc);
    if (rc == 0 && moderate && n >= 0)
      for (double t : kSamples)
        FUZZ_CHECK(std::fabs(fuzz::legendre_value(n, out.data(), t) - power(n, c.data(), t)) <= 8 * (n + 2) * kEps * size_c + sub);
  }
  if (n <= BSTCH_LIMIT) {
    BStchtlgd(n, c.data(), out.data(), &rc);
    if (rc == 0 && moderate && n >= 0) {
      for (double t : kSamples)
        FUZZ_CHECK(std::fabs(fuzz::legendre_value(n, out.data(), t) - chebyshev(n, c.data(), t)) <= 64 * (n + 2) * kEps * size_c + sub);
      BSlgdttch(n, out.data(), back.data(), &rc);
      FUZZ_CHECK(rc == 0);
      for (int j = 0; j <= n; ++j) FUZZ_CHECK(std::fabs(back[j] - c[j]) <= 64 * (n + 2) * kEps * size_c + sub);
    }
  }
  if (n <= 319) {
    BSlgdtbez(n, c.data(), out.data(), &rc);
    if (rc == 0 && moderate && n >= 0) {
      const double size_b = abs_sum(n, out.data());
      for (double t : kSamples)
        FUZZ_CHECK(std::fabs(bernstein(n, out, (t + 1) / 2) - fuzz::legendre_value(n, c.data(), t)) <=
                   8 * (n + 2) * kEps * (size_b + size_c) + sub);
    }
    BSbeztolgd(n, 1, c.data(), back.data(), &rc);
    if (rc == 0 && moderate && n >= 0)
      for (double t : kSamples)
        FUZZ_CHECK(std::fabs(fuzz::legendre_value(n, back.data(), t) - bernstein(n, c, (t + 1) / 2)) <= 1e-13 * (n + 1) * size_c + sub);
  }

  // Roots.
  if (n <= BSHLF_LIMIT) {
    int found = -7;
    std::vector<double> roots(std::max(n, 1) + 1, -777);
    BSfndrtlgd1(n, c.data(), root_tol, &found, roots.data(), &rc);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "roots of degree %d, tol %.17g:", n, root_tol);
      for (int j = 0; j <= n; ++j) std::fprintf(stderr, " %.17g", c[j]);
      std::fprintf(stderr, "\nroots: rc %d, %d\n", rc, found);
      for (int i = 0; i < found; ++i) std::fprintf(stderr, "  %.17g\n", roots[i]);
    }
    if (rc == 0 && moderate && n >= 1 && std::isfinite(root_tol) && root_tol >= 0) {
      const double tol = std::fmax(root_tol, 4 * kEps * size_c);
      FUZZ_CHECK(found >= -1 && found <= n);
      if (found == -1) {
        for (double t : kSamples) FUZZ_CHECK(std::fabs(fuzz::legendre_value(n, c.data(), t)) <= 2 * tol + 1e-12 * size_c);
      }
      for (int i = 0; i < found; ++i) {
        FUZZ_CHECK(roots[i] >= -1 && roots[i] <= 1);
        if (i > 0) FUZZ_CHECK(roots[i] >= roots[i - 1]);
        FUZZ_CHECK(std::fabs(fuzz::legendre_value(n, c.data(), roots[i])) <= 16 * tol + 1e-12 * size_c);
      }
      // A clear change of sign between samples holds a root.
      if (found >= 0) {
        const int m = 256;
        double prev = fuzz::legendre_value(n, c.data(), -1);
        for (int s = 1; s <= m; ++s) {
          const double a = -1 + 2.0 * (s - 1) / m, b = -1 + 2.0 * s / m, v = fuzz::legendre_value(n, c.data(), b);
          const double clear = 16 * tol + 1e-12 * size_c;
          if (std::fabs(prev) > clear && std::fabs(v) > clear && (prev > 0) != (v > 0)) {
            bool has = false;
            for (int i = 0; i < found && !has; ++i) has = roots[i] >= a - 1e-9 && roots[i] <= b + 1e-9;
            FUZZ_CHECK(has);
          }
          prev = v;
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
