// Pieces shared by the root finders of bspline/numerics.h; not for callers outside bspline/.
#pragma once

namespace bsroots {

// Refines the roots in slots from .. degree-1 with Newton steps on the polynomial coef (ascending, as the caller
// was given it), each slot in place: a real root stays real; of a conjugate pair in adjacent slots the first is
// refined and the second set to its conjugate. A step is kept only when it lowers the backward error and the root
// stays within half the distance to the nearest other slot, so a root never gets worse and never leaves for
// another one: beside a multiple root p / p' is rounding noise, and one step could land on a neighbouring root
// whose backward error happens to be lower. Slots holding one value (a multiple root) are left as they are, and
// so are DBL_MAX (a root at infinity) and non-finite slots.
void polish_roots(const double *coef, int degree, int from, double *re, double *im);

// True when every slot from .. degree-1 holds a root of coef within what rounding explains: |p(z)| at most a
// small multiple of degree x eps x sum |c_i| |z|^i.
bool roots_verified(const double *coef, int degree, int from, const double *re, const double *im);

// The same test for the one point re + i im.
bool within_rounding(const double *coef, int degree, double re, double im);

}  // namespace bsroots

namespace bssvd {

// The singular value decomposition with both factors of w (rows x columns, column-major, rows >= columns >= 2;
// overwritten), as BSsingsv gives it, without its checks of the input and without the exits of the routines it
// is made of: for callers that have checked their input and that, on a nonzero rc, go through the routines
// themselves. work takes 3 columns.
void decompose(double *w, int rows, int columns, double *u, double *s, double *v, double *work, int *rc);

// Whether all n values are finite (BSallfinite without its exit).
bool finite(int n, const double *x);

// BSsngvald3v on an array the caller no longer needs: its first 2 rows are overwritten, and no scratch is taken.
void sngvald3v_in_place(int n, double *p, double sv[3], double v[9], int *rc);

}  // namespace bssvd
