// The default style set of a new document's style library (source "addstyls"). Each builder takes the document
// (or any object of it), finds its library itself and releases it before it returns; failures are reported and
// answered unchanged, and what was made before them stays.
#pragma once

#include <windows.h>

// Creates the default dash types, line styles, solid fill, hatch patterns with their pattern fills and the text
// styles and the dimension styles in the library of the document, and makes the first line style, the first
// pattern fill, the paragraph style and the first dimension style active. A name the library already holds keeps its style as it is: the
// set can be built again without adding or changing anything. Stops at the first failure, reported; what was
// made stays.
HRESULT AddDefaultStyleSet(IUnknown* document);

// Registers the twelve default style types with the library; a type it already has stays as it is.
HRESULT RegisterDefaultStyleTypes(IUnknown* document);

// Builds the line style that repeats a zigzag symbol along the line: the symbol's graphic of three host line
// objects drawn with an unnamed line style, its point symbol, an unnamed line point generator, the dash type
// that carries it and the line style. Does nothing when the library already has that line style.
HRESULT AddDefaultSymbolLineStyle(IUnknown* document);

extern "C" {
// With `fullSet`, registers the default style types and builds both sets; without it, makes the default names
// active in the types where the library has them, stopping (0x80040221) at the first type without its name.
HRESULT WINAPI HAddDefaultStyles(IUnknown* document, BOOL fullSet);
}

// For the project's tests: from now on the n-th checked call of the builders (counting from 1: creations,
// interface queries, setters, lookups and activations) answers `hr` in place of being made. 0 turns it off.
// Answers the number of checked calls made since the previous setting.
LONG DefaultStylesFailAt(LONG n, HRESULT hr);

// The functions above, for the project's tests (StyleServerInternals).
struct DefaultStyleFunctions {
  decltype(&AddDefaultStyleSet) AddDefaultStyleSet;
  decltype(&DefaultStylesFailAt) FailAt;
  decltype(&RegisterDefaultStyleTypes) RegisterDefaultStyleTypes;
  decltype(&AddDefaultSymbolLineStyle) AddDefaultSymbolLineStyle;
};
const DefaultStyleFunctions* GetDefaultStyleFunctions();
