// Test doubles of the host's two text style editors (CLSID_TextCharEditor, CLSID_TextParaEditor), which the
// style workshop creates. Each records every call of its IJTextStyleEditor with what the descriptor it was
// handed carries, keeps that descriptor (GetDescriptor) and the IJStyleEdit it is given, answers the style it
// started from (IJEditedStyleSource), and on a test's request finishes its edit through the kept IJStyleEdit.
// The class objects are registered with the platform's class registry, where the host's JCoCreateInstance finds
// them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

// One call of an editor, with what its descriptor carried then. Identities, without references.
struct TextEditorCall {
  IUnknown* editor;
  int slot;  // of IJTextStyleEditor: 3 EditStyle, 4 EditNewStyle, 5 EditDerivedStyle, 6 SetStyleEdit
  bool named;
  std::wstring name;
  std::wstring secondString;
  GUID type;
  DWORD parentID;
  DWORD entryWord;
  DWORD styleID;
  IUnknown* context;
  IUnknown* shop;  // the IJWrkShop or IJStyleEdit handed over
};

// Every call of every editor of the process, in order.
std::vector<TextEditorCall>& TextEditorCalls();
// The class of an editor of these doubles; GUID_NULL for any other object.
CLSID TextEditorClass(IUnknown* editor);
// What the editor's descriptor carries now (slot 0, no shop), and that descriptor without a reference; nothing
// and null for another object or an editor not yet handed a descriptor.
TextEditorCall TextEditorCarries(IUnknown* editor);
IJStylDes* TextEditorDescriptor(IUnknown* editor);

// Register both class objects for this thread's apartment; each cookie revokes one (CoRevokeClassObject).
HRESULT RegisterTextEditorClasses(DWORD* charCookie, DWORD* paraCookie);

// Finishes the editor's edit: StoreEditedStyle (store) or AddEditedStyle of the IJStyleEdit it was given, with
// its descriptor and `style`. E_INVALIDARG for another object, E_UNEXPECTED before it has both.
HRESULT FinishTextEdit(IUnknown* editor, bool store, IUnknown* style);

}  // namespace host_app
