// Helpers for the tests of lengths, boxes, normals and array evaluation: the curves of measure_curves.h and the
// record and comparison helpers of the knot tests.
#pragma once

#include "tests/bspline/knots_fixtures.h"
#include "tests/bspline/measure_curves.h"
