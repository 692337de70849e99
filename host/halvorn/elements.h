// The interfaces of the host's elements (the objects of a drawing) that stylesrv calls. Only the slots named
// here are called; the others are placeholders.
#pragma once

#include <windows.h>
#include <objbase.h>

// Called once for each style ID an element uses.
using StyledElementIDCallback = HRESULT(WINAPI*)(DWORD styleID);

// The style ID an element keeps.
inline constexpr IID IID_IJStyledElement = {
    0xD7960550, 0xFA9D, 0x11CF, {0xB2, 0x83, 0x08, 0x00, 0x36, 0x22, 0xD7, 0x02}};
struct IJStyledElement : public IUnknown {
  // 3
  virtual HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) = 0;
  // 4
  virtual HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* id) = 0;
  // 5: the callback for every style ID the element uses; a failing callback ends the enumeration with its code.
  virtual HRESULT STDMETHODCALLTYPE EnumStyleIDs(StyledElementIDCallback callback) = 0;
};

#define HOST_ELEMENT_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Slot##n() = 0;

// An element's source of the style object it shows when it keeps no style ID.
inline constexpr IID IID_IJElementStyleSource = {
    0x204D4DD1, 0xB174, 0x11CE, {0xB9, 0x14, 0x08, 0x00, 0x36, 0x01, 0xC6, 0xEB}};
struct IJElementStyleSource : public IUnknown {
  HOST_ELEMENT_UNUSED_SLOT(3) HOST_ELEMENT_UNUSED_SLOT(4) HOST_ELEMENT_UNUSED_SLOT(5)
  HOST_ELEMENT_UNUSED_SLOT(6) HOST_ELEMENT_UNUSED_SLOT(7) HOST_ELEMENT_UNUSED_SLOT(8)
  HOST_ELEMENT_UNUSED_SLOT(9) HOST_ELEMENT_UNUSED_SLOT(10) HOST_ELEMENT_UNUSED_SLOT(11)
  // 12: the object that stands for the element's style, with a reference; S_OK and null when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetStyleObject(IUnknown** out) = 0;
};

#undef HOST_ELEMENT_UNUSED_SLOT

// An element that carries its styles into another library itself when it is copied.
inline constexpr IID IID_IJElementStyleCopy = {
    0x14FA50C0, 0x4DF2, 0x11D0, {0xA1, 0xCA, 0x08, 0x00, 0x36, 0xC1, 0xC9, 0x02}};
struct IJElementStyleCopy : public IUnknown {
  // 3: the styles the element uses in `sourceLibrarian` go to `targetLibrarian`, and `copy` (made of this
  // element in `targetContainer`) is given their IDs there.
  virtual HRESULT STDMETHODCALLTYPE CopyStylesTo(IUnknown* sourceLibrarian, IUnknown* targetLibrarian,
                                                 IUnknown* targetContainer, IUnknown* copy) = 0;
};

// ---- the symbol graphics that the default symbol line is made of ----

// The host's group of graphics, which draws its members in turn, and its line segment.
inline constexpr CLSID CLSID_HostGraphicGroup = {
    0xDA02A6D0, 0xC991, 0x11CD, {0xB0, 0x2F, 0x08, 0x00, 0x36, 0x01, 0xBE, 0x3A}};
inline constexpr CLSID CLSID_HostLineSegment = {
    0x2D4E13C0, 0xD3D1, 0x11CD, {0x8A, 0xEA, 0x08, 0x00, 0x36, 0x01, 0xB4, 0x4A}};

// A geometry record of the 2D geometry library (host/quarnet/quarnet.h).
struct QuarnetGeometry2d;

// The line segment's geometry setter.
inline constexpr IID IID_IJHostLineGeometry = {
    0xA16AFDC0, 0xAEC5, 0x11CD, {0x8B, 0xA4, 0x08, 0x00, 0x36, 0x24, 0xFC, 0x01}};
struct IJHostLineGeometry : public IUnknown {
  // 3: the segment takes a copy of the record.
  virtual HRESULT STDMETHODCALLTYPE SetGeometry(const QuarnetGeometry2d* geometry) = 0;
};

// The members of a group, as the engine's AddDefaultStyleObject adds to them.
inline constexpr IID IID_IJHostGroupMembers = {
    0x3E1B7A40, 0x5C2D, 0x4F10, {0x9A, 0x61, 0x2B, 0x7C, 0x44, 0x0D, 0x81, 0x5E}};
struct IJHostGroupMembers : public IUnknown {
  // 3: the group keeps the object, with a reference, after those it has.
  virtual HRESULT STDMETHODCALLTYPE AddMember(IUnknown* object) = 0;
};
