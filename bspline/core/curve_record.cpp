// The curve record: allocation in one block, release, reallocation, release of scratch arrays and the printer.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

#include <climits>
#include <cstring>

void BSallocvoqcv(std::int16_t order, std::int32_t num_poles, BSboolean rational, std::int16_t num_boundaries,
                  VOQbsp_curve **cv, int *rc) {
  *rc = 0;
  *cv = nullptr;
  const long long n = num_poles, k = order;
  const long long nb = num_boundaries > 0 ? num_boundaries : 0;
  long long size = static_cast<long long>(BSVOQCV_HEADER) + 24 * n + 8 * (n + k);
  if (rational) size += 8 * n;
  size += 16 * nb;
  unsigned char *block = nullptr;
  // Negative counts or a size beyond the allocator's int argument would wrap; both are an allocation failure.
  if (n >= 0 && k >= 0 && size <= INT_MAX) block = static_cast<unsigned char *>(BSdbgmalloc(static_cast<int>(size)));
  if (!block) {
    *rc = BSRC_ALLOC_CURVE;
  } else {
    VOQbsp_curve *c = reinterpret_cast<VOQbsp_curve *>(block);
    // The flags the caller must set keep this pattern (order -1, booleans 0xFFFF) until it does.
    std::memset(block, 0xFF, BSVOQCV_HEADER);
    c->poles = reinterpret_cast<double *>(block + BSVOQCV_HEADER);
    c->knots = c->poles + 3 * n;
    double *end = c->knots + (n + k);
    if (rational) {
      c->rational = 1;
      c->weights = end;
      end += n;
    } else {
      c->rational = 0;
      c->weights = nullptr;
    }
    c->bdrys = num_boundaries >= 1 ? end : nullptr;
    c->num_poles = num_poles;
    c->num_knots = num_poles + order;
    c->num_boundaries = num_boundaries;
    *cv = c;
  }
  BSexit(rc, "BSallocvoqcv", "bsallocvoqcv");
}

void BSfreevoqcv(VOQbsp_curve *cv, int *rc) {
  *rc = 0;
  if (!cv)
    *rc = BSRC_NULL_CURVE;
  else
    BSdbgfree(cv);
  BSexit(rc, "BSfreevoqcv", "bsfreevoqcv");
}

void BSreallocvoqcv(std::int16_t order, std::int32_t num_poles, std::int16_t num_boundaries, VOQbsp_curve **cv,
                    int *rc) {
  *rc = 0;
  VOQbsp_curve *old = cv ? *cv : nullptr;
  if (!old) {
    *rc = BSRC_NULL_CURVE;
  } else {
    VOQbsp_curve *fresh = nullptr;
    BSallocvoqcv(order, num_poles, old->rational, num_boundaries, &fresh, rc);
    // On failure the caller keeps its old record rather than losing it.
    if (*rc == 0) {
      fresh->order = order;
      fresh->num_poles = num_poles;
      fresh->num_knots = order + num_poles;
      fresh->rational = old->rational;
      fresh->periodic = old->periodic;
      fresh->phy_closed = old->phy_closed;
      // The room was sized for the requested count; claiming the old count could run past the block.
      fresh->num_boundaries = num_boundaries;
      *cv = fresh;
      BSfreevoqcv(old, rc);
    }
  }
  BSexit(rc, "BSreallocvoqcv", "bsreallocvoqcv");
}

BSboolean BSstfrecvfl(int *rc, VOQbsp_curve *cv) {
  *rc = 0;
  if (!cv) {
    *rc = BSRC_NULL_CURVE;
  } else {
    BSscratchrelease(cv->knots);
    cv->knots = nullptr;
    if (cv->rational) {
      BSscratchrelease(cv->weights);
      cv->weights = nullptr;
    }
    BSscratchrelease(cv->poles);
    cv->poles = nullptr;
  }
  BSexit(rc, "BSstfrecvfl", "bsstfrecvfl");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

namespace {
constexpr long kPrintLimit = 10000;

const char *word(BSboolean verbose, unsigned v) {
  if (verbose) return v ? "TRUE" : "FALSE";
  return v ? "1" : "0";
}

bool printable(const VOQbsp_curve *cv) {
  if (!cv) return false;
  if (cv->order < 2 || cv->num_poles < cv->order || cv->num_poles > 1000000) return false;
  if (cv->rational && !cv->weights) return false;
  if (cv->num_knots != cv->num_poles + cv->order) return false;
  if (cv->num_boundaries < 0 || cv->num_boundaries > 10000) return false;
  if (cv->num_boundaries > 0 && !cv->bdrys) return false;
  // The printer reads both arrays; a record without them cannot be printed.
  return cv->poles && cv->knots;
}

// One group of values (a pole or a boundary): label and bracket when verbose, one value per line.
void print_group(std::FILE *f, BSboolean verbose, const char *label, long index, const double *v, int count,
                 double divisor) {
  if (verbose) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s[%ld]", label, index);
    std::fprintf(f, "%s %s", buf, "(");
  }
  for (int c = 0; c < count; ++c) std::fprintf(f, " %20.15le\n", v[c] / divisor);
  std::fprintf(f, "%s", verbose ? ")" : "");
  std::fprintf(f, "\n");
}

void print_scalars(std::FILE *f, BSboolean verbose, const char *label, const double *v, long count) {
  for (long i = 0; i < count && i < kPrintLimit; ++i) {
    char buf[40] = "";
    if (verbose) std::snprintf(buf, sizeof buf, "%s[%ld]", label, i);
    std::fprintf(f, "%s %20.15le", buf, v[i]);
    std::fprintf(f, "\n");
  }
}
}  // namespace

BSboolean BSprtcvimp(std::FILE *stream, const char *name, const VOQbsp_curve *cv, BSboolean verbose, int) {
  std::FILE *f = stream ? stream : stderr;
  if (!printable(cv)) {
    std::fprintf(f, "invalid curve parameters when printing curve\n");
    BSfaulthook("bsprtcvimp", nullptr);
    return BSFALSE;
  }
  if (!name) name = "";
  if (verbose) std::fprintf(f, "\n\n\"%s\":\n", name);
  std::fprintf(f, "BScurve\n");
  std::fprintf(f, "order %d\n", cv->order);
  std::fprintf(f, "periodic %s\n", word(verbose, cv->periodic));
  std::fprintf(f, "non_uniform %s\n", word(verbose, cv->non_uniform));
  std::fprintf(f, "num_poles %ld\n", static_cast<long>(cv->num_poles));
  for (long i = 0; i < cv->num_poles && i < kPrintLimit; ++i) print_group(f, verbose, "pole", i, cv->poles + 3 * i, 3, 1.0);
  if (cv->rational) {
    std::fprintf(f, "unweighted poles\n");
    for (long i = 0; i < cv->num_poles && i < kPrintLimit; ++i)
      print_group(f, verbose, "pole", i, cv->poles + 3 * i, 3, cv->weights[i]);
  }
  std::fprintf(f, "rational %d\n", cv->rational);
  if (cv->rational) print_scalars(f, verbose, "weight", cv->weights, cv->num_poles);
  std::fprintf(f, "num_knots %ld\n", static_cast<long>(cv->num_knots));
  print_scalars(f, verbose, "knot", cv->knots, cv->num_knots);
  std::fprintf(f, "planar %s\n", word(verbose, cv->planar));
  std::fprintf(f, "phy_closed %s\n", word(verbose, cv->phy_closed));
  std::fprintf(f, "num_boundaries %d\n", cv->num_boundaries);
  for (long i = 0; i < cv->num_boundaries && i < kPrintLimit; ++i)
    print_group(f, verbose, "boundary", i, cv->bdrys + 2 * i, 2, 1.0);
  if (verbose) std::fprintf(f, "\n\nEnd of curve \"%s\"\n", name);
  BSfaulthook("bsprtcvimp", nullptr);
  return BSTRUE;
}

BSboolean BSprtcv(std::FILE *stream, const char *name, const VOQbsp_curve *cv, BSboolean verbose) {
  BSboolean ok = BSprtcvimp(stream, name, cv, verbose, 0);
  BSfaulthook("bsprtcv", nullptr);
  return ok;
}
