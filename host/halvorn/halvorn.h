// The host's document engine (stand-in), as far as stylesrv uses it: the engine allocator, from which style
// objects and style libraries take their memory. Every block it hands out lies 4 bytes short of an 8-byte
// boundary, so that an object placed 4 bytes into the block is 8-aligned.
#pragma once

#include <windows.h>

#include <cstddef>

#ifdef HALVORN_BUILD
#define HALVORN_API __declspec(dllexport)
#else
#define HALVORN_API __declspec(dllimport)
#endif

extern "C" {

// A block of `size` bytes whose contents are not set, or null when the memory is not there.
HALVORN_API void* EngineAlloc(std::size_t size);

// Frees a block from EngineAlloc (the block's own address, not that of an object inside it). Null does nothing.
HALVORN_API void EngineFree(void* block);

// ---- for the tests ----

// Blocks handed out and not yet freed.
HALVORN_API LONG EngineLiveBlocks();

// Makes the next `count` calls of EngineAlloc fail.
HALVORN_API void EngineFailNextAllocations(LONG count);

}  // extern "C"
