#include "display/style/textscratch.h"

#include <cstdlib>

#include "display/style/server.h"

TextLanguageScratch* GetThreadTextScratch(bool* noBlock) {
  StyleTlsBlock* block = GetStyleTlsBlock();
  *noBlock = block == nullptr;
  if (!block) return nullptr;
  if (!block->textScratch) block->textScratch = std::calloc(1, sizeof(TextLanguageScratch));
  return static_cast<TextLanguageScratch*>(block->textScratch);
}

void FreeThreadTextScratch(void** slot) {
  if (*slot) {
    std::free(*slot);
    *slot = nullptr;
  }
}
