// A per-thread bound on how deeply styles may call each other. Styles refer to each other by ID, and stored data
// can make a style reach itself again (through its referenced style, an overlay, a parent, a multiplexer entry).
// Every path on which one style calls into another (render, range, apply, uses-style, comparison, copy) enters
// the bound first; past it the call does nothing more, so a cycle ends instead of exhausting the stack.
//
// Once a call of the thread has met the bound, every further entry is refused until the outermost call returns:
// a style that reaches itself through two references would otherwise branch at every level. The outermost call
// cannot have drawn, measured or applied the style as it is, so the render, range and apply entry points answer
// E_FAIL for it (StyleCallDepth::Answer), reported once; the calls beneath it just stop.
#pragma once

#include <windows.h>

class StyleCallDepth {
 public:
  // Far deeper than any chain of real styles, far shallower than a thread's stack.
  static constexpr DWORD kLimit = 64;
  // What the outermost call's one report of a met bound carries.
  static constexpr char kReportSource[] = "STYDEPTH";
  static constexpr int kReportLine = 1;

  StyleCallDepth();
  ~StyleCallDepth();
  StyleCallDepth(const StyleCallDepth&) = delete;
  StyleCallDepth& operator=(const StyleCallDepth&) = delete;

  // False when the calling thread is already kLimit calls deep, or its outermost call has met the bound: the
  // caller must not go further. A refused render, range or apply answers S_OK having done nothing; its
  // outermost call answers for it.
  bool Entered() const { return m_entered; }

  // The answer of a render, range or apply entry point: `hr` as the style gave it; E_FAIL, reported, when this
  // is the thread's outermost call and the bound was met beneath it.
  HRESULT Answer(HRESULT hr);

  // The calling thread's depth.
  static DWORD Current();

 private:
  bool m_entered;
  bool m_outermost;
};
