// The process-wide error trace.
#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

#include <cstring>

namespace {
BStracerecord trace_table[BSTRACE_SIZE];
int trace_count = 0;
}  // namespace

void BStracepush(int rc, const char *name) {
  if (trace_count < 0 || trace_count >= BSTRACE_SIZE) return;
  BStracerecord &r = trace_table[trace_count];
  // Names are at most 14 characters; a longer one is cut rather than overrun the record.
  std::size_t len = name ? std::strlen(name) : 0;
  if (len >= sizeof r.name) len = sizeof r.name - 1;
  if (len) std::memcpy(r.name, name, len);
  r.name[len] = '\0';
  r.rc = rc;
  ++trace_count;
}

int BStracecount() { return trace_count; }
const BStracerecord *BStracetable() { return trace_table; }
void BStraceclear() { trace_count = 0; }
