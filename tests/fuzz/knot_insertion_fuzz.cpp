// Knot insertion and splitting of any record. On a well-formed curve an answer of rc 0 keeps the shape: the
// refined curve over the same range, and each part over its own piece of it.
#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void check_same_shape(const TestCurve &c, const VOQbsp_curve &out, double a, double b, double ra, double rb) {
  FUZZ_CHECK(fuzz::finite(out.poles, 3 * static_cast<std::size_t>(out.num_poles)));
  FUZZ_CHECK(fuzz::finite(out.knots, static_cast<std::size_t>(out.num_poles + out.order)));
  const double gap = fuzz::shape_gap(out, a, b, c.cv, ra, rb);
  // A part whose ends meet within the distance tolerance is flagged closed and its ends are made to meet:
  // that moves it by up to the tolerance.
  const double closing = out.phy_closed ? BStoltab[bstol::dist_tol] : 0;
  FUZZ_CHECK(gap <= 1e-9 * fuzz::scale_of(c) + closing);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in);
  const bool sane = fuzz::well_formed(*c);
  const bool valid_range = c->order() >= 1 && c->n() >= c->order();
  const double a = valid_range ? c->start() : 0, b = valid_range ? c->end() : 1;
  const double u = in.parameter(a, b), v = in.parameter(a, b);
  const int mult = static_cast<std::int8_t>(in.byte());
  BStraceclear();
  const int blocks = BSdbgliveblocks();

  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSadd_1kt_tot(&c->cv, u, mult, BSFALSE, &out, &rc);
  fuzz::HeapCurve tot(out);
  if (rc == 0 && sane) check_same_shape(*c, *tot, a, b, a, b);
  if (rc != 0) FUZZ_CHECK(out == nullptr);

  out = nullptr;
  BSadd_1kt_mul(&c->cv, u, mult, BSFALSE, &out, &rc);
  fuzz::HeapCurve mul(out);
  if (rc == 0 && sane) {
    FUZZ_CHECK(mul->num_poles == c->n() + mult);
    check_same_shape(*c, *mul, a, b, a, b);
  }
  if (rc != 0) FUZZ_CHECK(out == nullptr);

  // Splitting into parts with room for every knot the cut may add. A cut at or past an end gives the whole curve
  // and an empty part. The cut snaps to a knot, and from there to a range end, each within the knot tolerance:
  // that is all the split owes in parameter, so the parts are held to the curve at the cut they took, and that
  // cut to the one asked, held within the range.
  const double cut = std::fmin(std::fmax(u, a), b), other = std::fmin(std::fmax(v, a), b);
  const int room = c->n() + std::max(c->order(), 1) + 1, order_room = std::max(c->order(), 1) + 1;
  {
    fuzz::RoomCurve left(room, order_room, c->cv.rational), right(room, order_room, c->cv.rational);
    const BSboolean no = BSFALSE;
    BScvsplit(&rc, &c->cv, &u, &left.cv, &right.cv, &no);
    if (rc == 0 && sane) {
      double ktol = 0;
      int krc = 0;
      BScvkttol2(c->cv.order, c->cv.knots, c->n(), c->cv.poles, c->cv.rational ? c->cv.weights : nullptr, &ktol,
                 &krc);
      const double taken = left.cv.num_poles > 0 ? fuzz::range_end(left.cv) : fuzz::range_start(right.cv);
      FUZZ_CHECK(krc == 0 && std::fabs(taken - cut) < 2 * ktol);
      if (left.cv.num_poles > 0) check_same_shape(*c, left.cv, fuzz::range_start(left.cv), taken, a, taken);
      if (right.cv.num_poles > 0) check_same_shape(*c, right.cv, taken, fuzz::range_end(right.cv), taken, b);
    }
  }
  {
    fuzz::RoomCurve part(room, order_room, c->cv.rational);
    const BSboolean no = BSFALSE;
    BSactivsplt(&rc, &c->cv, &u, &v, &part.cv, &no);
    if (rc == 0 && sane && part.cv.num_poles > 0) {
      // The piece keeps the curve's parameters; an end may snap to a knot or a range end within the parameter
      // tolerance, which must hold it within the distance tolerance in space.
      const double ps = fuzz::range_start(part.cv), pe = fuzz::range_end(part.cv);
      check_same_shape(*c, part.cv, ps, pe, ps, pe);
      const double tol = 2 * BStoltab[bstol::dist_tol] + 1e-9 * fuzz::scale_of(*c);
      FUZZ_CHECK(fuzz::shape_gap(part.cv, ps, ps, c->cv, std::fmin(cut, other), std::fmin(cut, other), 1) <= tol);
      FUZZ_CHECK(fuzz::shape_gap(part.cv, pe, pe, c->cv, std::fmax(cut, other), std::fmax(cut, other), 1) <= tol);
    }
  }
  tot.reset();
  mul.reset();
  FUZZ_CHECK(BSdbgliveblocks() == blocks);
  return 0;
}
