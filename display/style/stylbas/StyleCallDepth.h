// A per-thread bound on how deeply styles may call each other. Styles refer to each other by ID, and stored data
// can make a style reach itself again (through its referenced style, an overlay, a parent, a multiplexer entry).
// Every path on which one style calls into another (render, range, apply, uses-style, comparison, copy) enters
// the bound first; past it the call does nothing more, so a cycle ends instead of exhausting the stack.
#pragma once

#include <windows.h>

class StyleCallDepth {
 public:
  // Far deeper than any chain of real styles, far shallower than a thread's stack.
  static constexpr DWORD kLimit = 64;

  StyleCallDepth() : m_entered(Enter()) {}
  ~StyleCallDepth() {
    if (m_entered) Leave();
  }
  StyleCallDepth(const StyleCallDepth&) = delete;
  StyleCallDepth& operator=(const StyleCallDepth&) = delete;

  // False when the calling thread is already kLimit calls deep: the caller must not go further.
  bool Entered() const { return m_entered; }

  // The calling thread's depth.
  static DWORD Current();

 private:
  static bool Enter();
  static void Leave();

  bool m_entered;
};
