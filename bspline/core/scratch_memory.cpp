// Heap entries and scratch arrays. Scratch blocks carry their flag word in the header so that the release path
// knows whether it owns heap memory; the header is 8 bytes to keep the doubles behind it aligned.
#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int fail_countdown = 0;  // 0: no injected failure pending
int scratch_heap_live = 0;
int dbg_live = 0;

// Whether the next heap request is the one a test asked to fail.
bool injected_failure() {
  if (fail_countdown <= 0) return false;
  return --fail_countdown == 0;
}

std::int32_t *flag_of(double *array) {
  return reinterpret_cast<std::int32_t *>(reinterpret_cast<unsigned char *>(array) - 4);
}
}  // namespace

void BSallocfailat(int n) { fail_countdown = n > 0 ? n : 0; }
int BSallocfailpending() { return fail_countdown; }
int BSscratchheapblocks() { return scratch_heap_live; }
int BSdbgliveblocks() { return dbg_live; }

void *BSdbgmalloc(int size) {
  if (size < 1 || injected_failure()) return nullptr;
  void *p = std::malloc(static_cast<std::size_t>(size));
  if (p) ++dbg_live;
  return p;
}

void *BSdbgcalloc(int count, int size) {
  if (count < 1 || size < 0 || injected_failure()) return nullptr;
  void *p = std::calloc(static_cast<std::size_t>(count), static_cast<std::size_t>(size));
  if (p) ++dbg_live;
  return p;
}

void *BSdbgralloc(void *p, int size) {
  if (size < 0) {
    std::fputs("Warning: there has been an attempt to allocate negative bytes of memory.\n\n", stdout);
    return nullptr;
  }
  if (injected_failure()) return nullptr;
  void *q = std::realloc(p, static_cast<std::size_t>(size));
  if (!p && q) ++dbg_live;
  if (p && !q && size == 0) --dbg_live;  // a zero size releases the block
  return q;
}

void BSdbgfree(void *p) {
  if (p) {
    --dbg_live;
    std::free(p);
  }
}

void BSfreecmplgd(double ***spans) {
  if (!spans || !*spans) return;
  if ((*spans)[0]) BSdbgfree((*spans)[0]);
  BSdbgfree(*spans);
  *spans = nullptr;
}

double *BSscratchtake(std::size_t m, BSstackblock *stack) {
  const std::size_t bytes = 8 * m;
  unsigned char *block;
  std::int32_t flag;
  if (stack && bytes < BSSTACK_BYTES) {
    block = stack->bytes;
    flag = 0;
  } else {
    if (m > (SIZE_MAX - BSSCRATCH_HEADER) / 8 || injected_failure()) return nullptr;
    block = static_cast<unsigned char *>(std::malloc(bytes + BSSCRATCH_HEADER));
    if (!block) return nullptr;
    flag = 1;
    ++scratch_heap_live;
  }
  double *array = reinterpret_cast<double *>(block + BSSCRATCH_HEADER);
  std::memcpy(flag_of(array), &flag, sizeof flag);
  return array;
}

void BSscratchrelease(double *array) {
  if (!array) return;
  std::int32_t flag;
  std::memcpy(&flag, flag_of(array), sizeof flag);
  if (flag != 0) {
    --scratch_heap_live;
    std::free(reinterpret_cast<unsigned char *>(array) - BSSCRATCH_HEADER);
  }
}

std::int32_t BSscratchflag(const double *array) {
  std::int32_t flag;
  std::memcpy(&flag, reinterpret_cast<const unsigned char *>(array) - 4, sizeof flag);
  return flag;
}
