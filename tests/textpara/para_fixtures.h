// What the paragraph style's tests share: paragraph and character styles made by stylesrv.dll's class objects,
// and records to set and compare.
#pragma once

#include <cstring>

#include "tests/lines/line_fixtures.h"

inline constexpr char kParaSource[] = "TEXTPARA";
// What a paragraph answers when it has no character style to hand out or read.
inline constexpr HRESULT kNoCharStyle = 0x40221;

inline IJStyleTextPara* NewPara() { return NewStyle<IJStyleTextPara>(CLSID_JStyleTextPara, IID_IJStyleTextPara); }

// A character style in the given units and colour, as IUnknown.
inline IUnknown* NewCharStyle(DWORD units = 11, DWORD colour = 0x00FF00) {
  IJStyleTextChar* text = NewStyle<IJStyleTextChar>(CLSID_JStyleTextChar, IID_IJStyleTextChar);
  EXPECT_EQ(text->SetUnits(units), S_OK);
  EXPECT_EQ(text->SetColor(colour), S_OK);
  EXPECT_EQ(text->SetFontName(L"Arial"), S_OK);
  return text;
}

// A record whose every stored field differs with the seed, in units 11 to 14, without character style.
inline TextParaData ParaValues(int s) {
  TextParaData d{};
  d.unitsCode = 11u + s % 4;
  d.valueByte1 = static_cast<BYTE>(0x10 + s);
  d.valueByte2 = static_cast<BYTE>(0x20 + s);
  d.distance1 = 0.25 + s;
  d.distance2 = 0.5 + s;
  d.distance3 = 0.75 + s;
  d.lineSpacing = 1.25 + s;
  d.distance4 = 1.5 + s;
  d.distance5 = 1.75 + s;
  for (DWORD i = 0; i < kParaStopCount; ++i) {
    d.stops[i] = ParaStopEntry{0.01 * (i + 1) + s, static_cast<BYTE>(i + s), static_cast<BYTE>(2 * i + s),
                               static_cast<WORD>(0x100 * i + s), {}};
  }
  d.lockMask = 0x40u + s;
  d.lineSpacingMode = 5u + s;
  return d;
}

// The style's record, read through GetParaData.
inline TextParaData ReadPara(IJStyleTextPara* para) {
  TextParaData d;
  std::memset(&d, 0xCD, sizeof d);
  EXPECT_EQ(para->GetParaData(&d), S_OK);
  return d;
}

inline bool SameBytes(const TextParaData& a, const TextParaData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
