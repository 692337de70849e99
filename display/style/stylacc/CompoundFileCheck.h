// The frame of a compound file, checked before the platform's storage reads it. That storage trusts the frame:
// on a directory whose links lead back to an entry it has passed, or a sector chain that returns to a sector of
// its own, it walks for ever; on a file cut inside a sector it reads the missing bytes as zeros (a cut file could
// pass for another version, or load altered). A style-library file may come from anywhere, so the accessor
// refuses such a file itself.
#pragma once

#include <windows.h>

// S_OK for a file whose header, sector tables, directory tree and stream chains hold together;
// STG_E_DOCFILECORRUPT for one whose frame does not; the failure of reading the file when it cannot be read
// (E_OUTOFMEMORY when its tables cannot be held).
HRESULT CheckCompoundFileFrame(LPCWSTR path);
