// Rational Bezier spans whose weights lie far apart, for the searches inside bspline/ that follow a span's
// parameter (nearest points, crossings). A span stays the same curve when its poles j (weighted, and their weights)
// are all scaled by r^j, its parameter s then mapping to t = r s / (1 - s + r s). With weights far apart (a record
// may carry an end weight of 1e-15) the curve runs through nearly all of its length within slivers of its
// parameter, where bounds that divide by a piece's least weight stay loose and node polygons spread evenly over the
// parameter pass the stretch over. Such a span is cut where its evened parameter halves (each cut brings the
// weights of both parts nearer together) until the parts, evened, are plain spans.
//
// Spans are component-major: dim Cartesian components of degree + 1 weighted poles each, then the weights.
#pragma once

namespace bseven {

constexpr double kEvenSpread = 4;  // binary orders between the least and the greatest weight of a plain span
constexpr int kMostExponent = 960;

// log2 of the weights; false when one is not positive and finite.
bool weight_logs(int degree, int dim, const double *poles, double *l);
// The binary orders spanned by the weights scaled by 2^(e j), and their middle.
double spread_at(int degree, const double *l, double e, double *middle = nullptr);
// Whether a span (dim 3 at most, degree below 16) has weights all positive and finite more than kEvenSpread binary
// orders apart.
bool uneven(int degree, int dim, const double *poles);
// The whole e for which the weights scaled by 2^(e j) lie closest together, and their spread then.
int evening_exponent(int degree, const double *l, double *spread);
// The span with pole j scaled by 2^(e j - h), h bringing the weights about 1; false when a scaled coefficient
// would leave the normal range (the span is then taken as given). Powers of two keep every digit.
bool even_out(int degree, int dim, const double *poles, const double *l, int e, double *out);
// The span's two parts about the parameter t (with u = 1 - t given apart, so that neither loses digits near an
// end), nc components: de Casteljau's steps on the weighted poles, positive combinations that keep the weights
// positive.
void cut(int degree, int nc, const double *in, double u, double t, double *left, double *right);
// Where the evened parameter of a span scaled by 2^(e j) halves, t = r / (1 + r) with r = 2^e, and u = 1 - t.
void halving_point(int e, double *u, double *t);
// The parameter in [a, b] of the parameter s of a part over [a, b] evened by 2^(e j), each end kept exact.
double unevened(double s, int e, double a, double b);

constexpr int kEvenDepth = 48;  // cuts at the most above a part

// What a descent (below) does with an uneven span's parts. Only part() is owed; the other hooks keep every part
// and cut it, left before right.
class Parts {
 public:
  // A part over [a, b] of the span's range, as cut from the span (its own parameter runs linearly over [a, b]), l the
  // binary logs of its weights and e the exponent that evens them (even_out may yet refuse it; unevened maps the
  // evened part's parameter back): nonzero stops the descent, which answers it.
  virtual int part(const double *poles, double a, double b, const double *l, int e) = 0;
  // Whether a part, before it is looked at, holds nothing wanted and is passed over uncut.
  virtual bool passed(const double *poles) { return false; }
  // Whether a part over [a, b] that spreads too far is cut at m (asked once a cut, which follows a yes); if not, it
  // is a part as it stands.
  virtual bool may_cut(double a, double m, double b) { return true; }
  // Whether the right part of a cut is looked at first.
  virtual bool right_first(const double *left, const double *right) { return false; }

 protected:
  ~Parts() = default;
};

// Cuts a span of nc components (the weights last; nc 4 and degree 15 at the most) over [a, b] where its evened
// parameter halves, and again each part, until the part's weights, evened, lie within kEvenSpread binary orders or
// kEvenDepth cuts are made above it; hands each part in turn to parts.part. Answers 0, the first nonzero answer of
// parts.part, or BSRC_OUT_OF_RANGE when a part's weights are not all positive and finite or the span too large.
int descend(int degree, int nc, const double *poles, double a, double b, Parts &parts);

}  // namespace bseven
