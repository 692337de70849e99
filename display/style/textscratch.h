// The per-thread scratch of the text character style: 16 bytes from malloc, held in the thread's block.
#pragma once

// Frees the scratch *slot points to and sets *slot to null; nothing when it is null.
void FreeThreadTextScratch(void** slot);
