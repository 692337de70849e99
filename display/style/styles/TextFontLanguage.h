// The language a text font is set in: the requested one when the font has it, else the first of the user's and
// the machine's languages that it has, else the font's own first. The font's languages come from the font
// manager; a per-user switch of the host application turns the check off.
#pragma once

#include <windows.h>

struct ISitheFontMgr;

// The choice for a font the manager knows by name, from the manager's no-language test on. *result is 0 on
// every failure, which is reported.
HRESULT ChooseFontLanguage(ISitheFontMgr* manager, LPCWSTR fontName, WORD requested, WORD* result);

// The font manager's enumeration callback: reaches the choice running on the calling thread through the
// thread's scratch.
void WINAPI OnFontLanguage(DWORD, WORD language);

// Whether the host application's user switched the language check off. Read afresh every time.
BOOL IsLangIdValidationOff();

// Reads the default value of the key under HKEY_CURRENT_USER: *flag is true when it is a text whose number is
// not 0. A missing key or value leaves it false.
HRESULT ReadNoLangIdFlag(const char* keyPath, BOOL* flag);
