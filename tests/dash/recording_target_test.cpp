// The render target's table as the styles call it: each operation at its place, which the host's target
// shares with the recording one through the interface both are built from.
#include "tests/dash/dash_fixtures.h"

using ::testing::ElementsAre;

namespace {

// Calls slot `slot` of the target's table directly, as a host that knows only the places would.
template <class... Args>
HRESULT CallSlot(IRenderTarget2d* target, int slot, Args... args) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(IRenderTarget2d*, Args...);
  void** table = *reinterpret_cast<void***>(target);
  return reinterpret_cast<Fn>(table[slot])(target, args...);
}

TEST(RecordingTarget, OperationsSitAtTheirPlacesInTheTable) {
  TestTarget target;
  IRenderTarget2d* t = target.target();
  const double lengths[] = {2, 1};
  double xyz[] = {0, 0, 0, 1, 1, 0};
  DWORD mode = 0;
  target.recording()->SetRenderMode(4);
  EXPECT_EQ(CallSlot(t, 3, DWORD{0xFF}), S_OK);
  EXPECT_EQ(CallSlot(t, 7, 0.5), S_OK);
  EXPECT_EQ(CallSlot(t, 8, DWORD{2}, static_cast<const double*>(lengths)), S_FALSE);
  EXPECT_EQ(CallSlot(t, 14, DWORD{2}, static_cast<const double*>(xyz)), S_OK);
  EXPECT_EQ(CallSlot(t, 30, DWORD{3}), S_OK);
  EXPECT_EQ(CallSlot(t, 31, DWORD{2}), S_OK);
  EXPECT_EQ(CallSlot(t, 37, DWORD{1}), S_OK);
  EXPECT_EQ(CallSlot(t, 38, &mode), S_OK);
  EXPECT_EQ(mode, 4u);
  EXPECT_THAT(target.Names(), ElementsAre("SetPenColor", "SetPenWidth", "SetDashPattern", "DrawPolyline",
                                          "SetFirstCode", "SetThirdCode", "SetSecondCode", "GetRenderMode"));
  const std::vector<SitheCall> calls = target.Calls();
  EXPECT_EQ(calls[4].u[0], 3u);
  EXPECT_EQ(calls[5].u[0], 2u);
  EXPECT_EQ(calls[6].u[0], 1u);
  EXPECT_EQ(calls[7].u[0], 4u);
  EXPECT_EQ(calls[2].result, S_FALSE);
  EXPECT_THAT(DashPatterns(target), ElementsAre(ElementsAre(2, 1)));
}

}  // namespace
