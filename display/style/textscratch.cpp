#include "display/style/textscratch.h"

#include <cstdlib>

void FreeThreadTextScratch(void** slot) {
  if (*slot) {
    std::free(*slot);
    *slot = nullptr;
  }
}
