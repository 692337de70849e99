// Crossings of two planar cubic Bezier spans on the random pairs of the oracle test (transversal crossings well
// apart): ours beside OpenCASCADE's curve intersection and SISL's. Likewise the whole intersection of two spans
// (cubics, segments and arcs, sharing ends or overlapping, as in its oracle test) beside OpenCASCADE's. Each answer,
// the number of meetings plus the sum of their parameters on both spans, is checked against the peers' agreed
// answer before it is timed. Ours runs at a distance tolerance of 1e-10: at its default its parameters are good to
// about 1e-6 (see the oracle test), and the peers' agreement is asked at 1e-12.
#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/bezier_pairs.h"
#include "tests/bspline/oracle/span_pairs.h"

namespace {

const char *const kOurs = "ours_at_dist_tol_1e-10";

// Ours at the distance tolerance the peers' agreement needs.
template <class Run>
auto Fine(Run run) {
  return [run] {
    const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
    return run();
  };
}

std::shared_ptr<const std::vector<bzpairs::Pair>> BezierPairs(int count) {
  return bench::Once(count, [count] { return std::make_shared<const std::vector<bzpairs::Pair>>(bzpairs::MakePairs(240, count)); });
}

double BezierReference(const std::vector<bzpairs::Pair> &pairs) {
  double sum = 0;
  for (const bzpairs::Pair &q : pairs)
    for (const bzpairs::Crossing &c : q.want) sum += 1 + c.t1 + c.t2;
  return sum;
}

struct Spans {
  std::vector<std::unique_ptr<TestCurve>> a, b;
};

void RegisterBezier() {
  const std::vector<int> sizes = bench::Sizes({100, 1000, 10000});
  bench::Contender("span_intersection", "cubic_bezier_pairs", kOurs, sizes, "pairs", [](int count) {
    const auto pairs = BezierPairs(count);
    auto spans = std::make_shared<Spans>();
    const std::vector<double> knots = {0, 0, 0, 0, 1, 1, 1, 1};
    for (const bzpairs::Pair &q : *pairs) {
      std::vector<double> pa, pb;
      for (int i = 0; i < 4; ++i) {
        pa.insert(pa.end(), {q.a[2 * i], q.a[2 * i + 1], 0});
        pb.insert(pb.end(), {q.b[2 * i], q.b[2 * i + 1], 0});
      }
      spans->a.push_back(std::make_unique<TestCurve>(4, pa, knots));
      spans->b.push_back(std::make_unique<TestCurve>(4, pb, knots));
    }
    return bench::CheckedValue(BezierReference(*pairs), 1e-6, Fine([spans] {
      double sum = 0, pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
      for (size_t i = 0; i < spans->a.size(); ++i) {
        std::int32_t n = 0;
        BSboolean tangent = 0;
        int rc = 0;
        BSxbzs4(&spans->a[i]->cv, &spans->b[i]->cv, &n, pts, t1, t2, &tangent, &rc);
        for (int k = 0; k < n; ++k) sum += 1 + t1[k] + t2[k];
      }
      return sum;
    }), "the crossings are wrong");
  });
  bench::Contender("span_intersection", "cubic_bezier_pairs", "occt_Geom2dAPI_InterCurveCurve", sizes, "pairs",
                   [](int count) {
                     const auto pairs = BezierPairs(count);
                     auto curves = std::make_shared<std::vector<Handle(Geom2d_BezierCurve)>>();
                     for (const bzpairs::Pair &q : *pairs) {
                       curves->push_back(bzpairs::OcctBezier(q.a));
                       curves->push_back(bzpairs::OcctBezier(q.b));
                     }
                     return bench::CheckedValue(BezierReference(*pairs), 1e-6, [curves] {
                       double sum = 0;
                       bool segments = false;
                       for (size_t i = 0; i + 1 < curves->size(); i += 2)
                         for (const bzpairs::Crossing &c : bzpairs::Occt((*curves)[i], (*curves)[i + 1], &segments))
                           sum += 1 + c.t1 + c.t2;
                       return sum;
                     }, "the crossings are wrong");
                   });
  bench::Contender("span_intersection", "cubic_bezier_pairs", "sisl_s1857", sizes, "pairs", [](int count) {
    const auto pairs = BezierPairs(count);
    std::shared_ptr<std::vector<SISLCurve *>> curves(new std::vector<SISLCurve *>, [](std::vector<SISLCurve *> *c) {
      for (SISLCurve *s : *c) freeCurve(s);
      delete c;
    });
    for (const bzpairs::Pair &q : *pairs) {
      curves->push_back(bzpairs::SislBezier(q.a));
      curves->push_back(bzpairs::SislBezier(q.b));
    }
    return bench::CheckedValue(BezierReference(*pairs), 1e-6, [curves] {
      double sum = 0;
      bool segments = false;
      for (size_t i = 0; i + 1 < curves->size(); i += 2)
        for (const bzpairs::Crossing &c : bzpairs::Sisl((*curves)[i], (*curves)[i + 1], &segments))
          sum += 1 + c.t1 + c.t2;
      return sum;
    }, "the crossings are wrong");
  });
}

std::shared_ptr<const std::vector<spanpairs::Pair>> SpanPairs(int count) {
  return bench::Once(count, [count] { return std::make_shared<const std::vector<spanpairs::Pair>>(spanpairs::MakePairs(82, count)); });
}

double SpanReference(const std::vector<spanpairs::Pair> &pairs) {
  double sum = 0;
  for (const spanpairs::Pair &q : pairs)
    for (const spanpairs::Meeting &m : q.want) sum += 1 + m.t1 + m.t2;
  return sum;
}

void RegisterSpans() {
  const std::vector<int> sizes = bench::Sizes({40, 400, 4000});
  bench::Contender("span_intersection", "whole_span_pairs", kOurs, sizes, "pairs", [](int count) {
    const auto pairs = SpanPairs(count);
    auto spans = std::make_shared<Spans>();
    for (const spanpairs::Pair &q : *pairs) {
      spans->a.push_back(spanpairs::OurSpan(q.a));
      spans->b.push_back(spanpairs::OurSpan(q.b));
    }
    return bench::CheckedValue(SpanReference(*pairs), 1e-6, Fine([spans] {
      double sum = 0, pts[3 * BSSPAN_RESULTS], t1[BSSPAN_RESULTS], t2[BSSPAN_RESULTS];
      for (size_t i = 0; i < spans->a.size(); ++i) {
        int n = 0, rc = 0;
        BSboolean overlap = 0;
        BSbzbz_int(&spans->a[i]->cv, &spans->b[i]->cv, &n, pts, t1, t2, &overlap, &rc);
        for (int k = 0; k < n; ++k) sum += 1 + t1[k] + t2[k];
      }
      return sum;
    }), "the meetings are wrong");
  });
  bench::Contender("span_intersection", "whole_span_pairs", "occt_Geom2dAPI_InterCurveCurve", sizes, "pairs",
                   [](int count) {
                     const auto pairs = SpanPairs(count);
                     auto curves = std::make_shared<std::vector<Handle(Geom2d_Curve)>>();
                     for (const spanpairs::Pair &q : *pairs) {
                       curves->push_back(spanpairs::OcctSpan(q.a));
                       curves->push_back(spanpairs::OcctSpan(q.b));
                     }
                     return bench::CheckedValue(SpanReference(*pairs), 1e-6, [curves] {
                       double sum = 0;
                       int segments = 0;
                       for (size_t i = 0; i + 1 < curves->size(); i += 2)
                         for (const spanpairs::Meeting &m : spanpairs::Occt((*curves)[i], (*curves)[i + 1], &segments))
                           sum += 1 + m.t1 + m.t2;
                       return sum;
                     }, "the meetings are wrong");
                   });
}

const bool registered = [] {
  bench::Describe("span_intersection",
                  "Crossings of random planar cubic Bezier span pairs (transversal, well apart), and the whole "
                  "intersection of random span pairs (cubics, segments and arcs, half of them sharing an end, some "
                  "overlapping); size: pairs. Each answer, the number of meetings plus the sum of their parameters, "
                  "is checked against the peers' agreed answer to 1e-6 in all. Ours runs at a distance tolerance of "
                  "1e-10 (its default gives parameters to about 1e-6; the peers agree to 1e-12).");
  RegisterBezier();
  RegisterSpans();
  return true;
}();

}  // namespace
