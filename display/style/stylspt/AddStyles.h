// The default style set of a new document's style library (source "addstyls").
#pragma once

#include <windows.h>

// Creates the default dash types, line styles, solid fill, hatch patterns with their pattern fills and the text
// styles in the library of the document (or of any object of it), and makes the first line style, the first
// pattern fill and the paragraph style active. A name the library already holds keeps its style as it is: the
// set can be built again without adding or changing anything. Stops at the first failure, reported; what was
// made stays.
HRESULT AddDefaultStyleSet(IUnknown* document);

// For the project's tests: from now on the n-th checked call of the builders (counting from 1: creations,
// interface queries, setters, lookups and activations) answers `hr` in place of being made. 0 turns it off.
// Answers the number of checked calls made since the previous setting.
LONG DefaultStylesFailAt(LONG n, HRESULT hr);

// The functions above, for the project's tests (StyleServerInternals).
struct DefaultStyleFunctions {
  decltype(&AddDefaultStyleSet) AddDefaultStyleSet;
  decltype(&DefaultStylesFailAt) FailAt;
};
const DefaultStyleFunctions* GetDefaultStyleFunctions();
