#include "tests/fill/fill_fixtures.h"

#include "tests/support/stylesrv_test.h"

void ExpectEachRefused(const std::vector<std::function<HRESULT()>>& calls, HRESULT hr, const char* source) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(calls[i](), hr) << i;
    const std::vector<PellowReport> reports = stylesrv_test::Reports();
    ASSERT_EQ(reports.size(), 1u) << i;
    EXPECT_STREQ(reports[0].source, source) << i;
  }
}

RecordingPattern* RecordingPattern::Create() {
  auto* pattern = new RecordingPattern;
  pattern->AddRef();
  return pattern;
}

GUID* RecordingPattern::GetClassID(GUID* out) {
  *out = CLSID_RecordingPattern;
  return out;
}

HRESULT RecordingPattern::Clone(IUnknown*, IUnknown** out) {
  *out = Create()->Unknown();
  return S_OK;
}

HRESULT RecordingPattern::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                 const RenderContextScales* context, IJStyleRender* substitute,
                                 tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  const auto* points = static_cast<const double*>(geometry->pointList->points);
  runs.push_back({std::vector<double>(points, points + std::size_t{geometry->pointList->count} * 3), *record,
                  recordGiven, AsFillDrawingSetup(element)});
  if (FAILED(answer)) return answer;
  return JStyleFillType::Render(geometry, target, context, substitute, record, recordGiven, element);
}

HRESULT RecordingPattern::ApplyToGraphic(tagStyleOverride* record) {
  const HRESULT hr = JStyleFillType::ApplyToGraphic(record);
  if (dash && !(record->flags & OVR_DASH_TYPE)) {
    dash->AddRef();
    record->dashType = dash;
    record->flags |= OVR_DASH_TYPE;
  }
  return hr;
}
