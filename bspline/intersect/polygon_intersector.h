// The polygon intersector's span memo, for callers that pair many spans in one call. Not for callers outside
// bspline/.
#pragma once

namespace bsxbz {

// While one lives on a thread, the polygon intersector keeps what it derives from each span alone (its node
// polygon, knot tolerance and longest leg) for the spans that follow, as long as the span, the tolerance table
// and the knot tolerance mode are the same. What one call kept is not used by the next: the memo serves the span
// pairs of one intersection. Scopes nest; an inner one starts afresh and the outer one resumes after it.
class SpanMemoScope {
 public:
  // shared: the scopes opened inside this one (each intersection of a span with the rest of its curve in a
  // self-intersection) keep its entries rather than starting afresh, so that a span derived for one pair is
  // found again when it meets the spans after it.
  explicit SpanMemoScope(bool shared = false);
  ~SpanMemoScope();
  SpanMemoScope(const SpanMemoScope &) = delete;
  SpanMemoScope &operator=(const SpanMemoScope &) = delete;

 private:
  unsigned outer_;
  bool outer_shared_;
};

}  // namespace bsxbz
