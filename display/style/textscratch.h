// The per-thread scratch of the text character style's language choice: 16 bytes from malloc, held in the
// thread's block from its first language choice until the block goes.
#pragma once

#include <windows.h>

// One language the choice may settle on, marked once the font turns out to have it.
struct LanguageCandidate {
  DWORD mark;
  WORD language;
};

// The language choice running on the thread. The font manager's enumeration calls back without a context, so
// the callback finds the choice here.
struct TextLanguageScratch {
  LONG count;                     // of candidates; 0 while no choice runs
  LanguageCandidate* candidates;  // the running choice's, on its stack
  DWORD found;                    // 1 once the font reported a language
  WORD first;                     // the first language it reported
};
static_assert(sizeof(TextLanguageScratch) == 16);

// The calling thread's scratch, made on first use; null for a thread without a block (*noBlock is then true) or
// when the memory is not there.
TextLanguageScratch* GetThreadTextScratch(bool* noBlock);

// Frees the scratch *slot points to and sets *slot to null; nothing when it is null.
void FreeThreadTextScratch(void** slot);
