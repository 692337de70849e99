// Sorting: tags by key, doubles in place, 16-byte records by a comparator, and point pointers lexicographically.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

BSboolean BStagsort(int *rc, const int *n, const double *keys, int *tags) {
  *rc = 0;
  const int cnt = *n;
  if (cnt <= 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    for (int i = 0; i < cnt; ++i) tags[i] = i;
    // Equal keys keep their order. Without NaN the keys are totally ordered and a stable merge sort gives the one
    // stable order; a NaN compares with nothing, and only the bubble passes say where it stays.
    bool ordered = true;
    for (int i = 0; i < cnt && ordered; ++i) ordered = !std::isnan(keys[i]);
    if (ordered) {
      std::stable_sort(tags, tags + cnt, [keys](int a, int b) { return keys[a] < keys[b]; });
    } else {
      for (int last = cnt - 1; last > 0; --last) {
        bool swapped = false;
        for (int i = 0; i < last; ++i)
          if (keys[tags[i]] > keys[tags[i + 1]]) {
            std::swap(tags[i], tags[i + 1]);
            swapped = true;
          }
        if (!swapped) break;
      }
    }
  }
  BSexit(rc, "BStagsort", "bstagsort");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

namespace {
// Recursion on the smaller part only keeps the depth logarithmic even for sorted input.
void quicksort(int lo, int hi, double *a) {
  while (lo < hi) {
    const double pivot = a[lo];
    int i = lo, j = hi;
    while (i < j) {
      while (i < j && a[j] >= pivot) --j;
      a[i] = a[j];
      while (i < j && a[i] <= pivot) ++i;
      a[j] = a[i];
    }
    a[i] = pivot;
    if (i - lo < hi - i) {
      quicksort(lo, i - 1, a);
      lo = i + 1;
    } else {
      quicksort(i + 1, hi, a);
      hi = i - 1;
    }
  }
}

struct Record {
  unsigned char bytes[16];
};

void swap_records(Record *a, Record *b) {
  if (a != b) std::swap(*a, *b);
}

// Returns false when the comparator failed (rc set).
bool sort_records(int cutoff, BSsortcompare compare, Record *r, int n, int *rc) {
  while (n > 1) {
    if (n < cutoff) {
      for (int last = n - 1; last >= 1; --last)
        for (int i = 0; i < last; ++i) {
          const int c = compare(&r[i], &r[last], rc);
          if (*rc != 0) return false;
          if (c > 0) swap_records(&r[i], &r[last]);
        }
      return true;
    }
    // The pivot is the greater of record 0 and the first record unequal to it, so both sides get a record.
    int k = 1;
    int c = 0;
    for (; k < n; ++k) {
      c = compare(&r[k], &r[0], rc);
      if (*rc != 0) return false;
      if (c != 0) break;
    }
    if (k == n) return true;
    const Record pivot = c > 0 ? r[k] : r[0];
    int i = 0, j = n - 1;
    while (i <= j) {
      while (i <= j) {
        const int ci = compare(&r[i], &pivot, rc);
        if (*rc != 0) return false;
        if (ci >= 0) break;
        ++i;
      }
      while (i <= j) {
        const int cj = compare(&r[j], &pivot, rc);
        if (*rc != 0) return false;
        if (cj < 0) break;
        --j;
      }
      if (i < j) {
        swap_records(&r[i], &r[j]);
        ++i;
        --j;
      }
    }
    // r[0..i-1] below the pivot, r[i..n-1] not below it.
    if (i < n - i) {
      if (!sort_records(cutoff, compare, r, i, rc)) return false;
      r += i;
      n -= i;
    } else {
      if (!sort_records(cutoff, compare, r + i, n - i, rc)) return false;
      n = i;
    }
  }
  return true;
}

int compare_point_records(const void *a, const void *b, int *rc) {
  const double *pa, *pb;
  std::memcpy(&pa, a, sizeof pa);
  std::memcpy(&pb, b, sizeof pb);
  return BStrplcomp(pa, pb, rc);
}
}  // namespace

void BSquicksort(int *rc, const int *lo, const int *hi, int, double *a) {
  *rc = 0;
  quicksort(*lo, *hi, a);
  BSexit(rc, "BSquicksort", "bsquicksort");
}

void BSsort(int cutoff, BSsortcompare compare, int n, void *records, int *rc) {
  *rc = 0;
  sort_records(cutoff, compare, static_cast<Record *>(records), n, rc);
  BSexit(rc, "BSsort", "bssort");
}

int BStrplcomp(const double a[3], const double b[3], int *rc) {
  *rc = 0;
  int r = 0;
  for (int i = 0; i < 3 && r == 0; ++i) {
    if (a[i] < b[i]) r = -1;
    else if (a[i] > b[i]) r = 1;
  }
  BSexit(rc, "BStrplcomp", "bstrplcomp");
  return r;
}

void BSsorttrpls(int n, const double **points, int *rc) {
  *rc = 0;
  if (n > 1) {
    // Records of 16 bytes hold one pointer each, so the sort is the same on the 32- and 64-bit builds.
    BSscratch<0> work;
    double *block = work.take(2 * static_cast<std::size_t>(n));
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      Record *recs = reinterpret_cast<Record *>(block);
      std::memset(recs, 0, sizeof(Record) * n);
      for (int i = 0; i < n; ++i) std::memcpy(recs[i].bytes, &points[i], sizeof points[i]);
      BSsort(20, compare_point_records, n, recs, rc);
      if (*rc == 0)
        for (int i = 0; i < n; ++i) std::memcpy(&points[i], recs[i].bytes, sizeof points[i]);
    }
  }
  BSexit(rc, "BSsorttrpls", "bssorttrpls");
}
