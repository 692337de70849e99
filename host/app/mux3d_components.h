// Test doubles of the host's 3D multiplexer (CLSID_Mux3dStyle) and its appearance component
// (CLSID_Mux3dAppearance), which the 3D multiplexer workbench creates and fills. The multiplexer keeps the three
// components it is given and hands them back; the appearance copies every header it is handed, with the two
// records the header points at. Both record what they get in one log, and both take part in a style library
// as a style does (IJManageStyle2; equal only to themselves). The appearance also answers IJStyleRender, under
// which the multiplexer takes it. The class objects are registered with the platform's class registry, where
// the host's JCoCreateInstance finds them.
#pragma once

#include <windows.h>

#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

// A setter of a multiplexer called: slot 3, 7 or 11, with the object it got. Identities, without references.
struct Mux3dSet {
  IUnknown* multiplexer;
  int slot;
  IUnknown* component;
};

// A header handed to an appearance, as it came (its pointers are the caller's), with copies of its records.
struct Mux3dAppearanceCopy {
  IUnknown* appearance;  // identity, without a reference
  Mux3dAppearanceHeader header;
  Mux3dAppearanceA a;
  Mux3dAppearanceB b;
};

struct Mux3dComponentLog {
  std::vector<Mux3dSet> sets;
  std::vector<Mux3dAppearanceCopy> copies;
};

// The log of every multiplexer and appearance of the process, in order.
Mux3dComponentLog& Mux3dComponentCalls();

// Register the class objects for this thread's apartment; *cookie revokes each (CoRevokeClassObject).
HRESULT RegisterMux3dStyleClass(DWORD* cookie);
HRESULT RegisterMux3dAppearanceClass(DWORD* cookie);

}  // namespace host_app
