// The style descriptor called by place, as an editor built apart from the server calls it.
#include <cstdlib>

#include "tests/styllib/library_fixtures.h"

using stylesrv_test::CallSlot;

namespace {

constexpr char kSource[] = "display/style/wrkshop/styldesc";

LONG ReportsFrom(const char* source) {
  LONG n = 0;
  for (const PellowReport& report : stylesrv_test::Reports()) n += std::string(report.source) == source;
  return n;
}

class DescriptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleDescriptor, IID_IJStylDes,
                                         reinterpret_cast<void**>(&descriptor)),
              S_OK);
  }
  void TearDown() override { descriptor->Release(); }

  // Gives the descriptor a record as the workshop does: on the runtime heap, taken over.
  void GiveRecord() {
    auto* record = static_cast<StyleRecord*>(std::calloc(1, sizeof(StyleRecord)));
    record->type = static_cast<GUID*>(std::malloc(sizeof(GUID)));
    *record->type = STYLETYPE_TextChar;
    IJStyleDescriptorRecord* access = nullptr;
    ASSERT_EQ(descriptor->QueryInterface(IID_IJStyleDescriptorRecord, reinterpret_cast<void**>(&access)), S_OK);
    EXPECT_EQ(access->SetRecord(record), S_OK);
    access->Release();
  }

  stylesrv_test::ServerModule server;
  IJStylDes* descriptor = nullptr;
};

TEST_F(DescriptorTest, WithoutARecordEveryOperationFailsAndIsReported) {
  LPWSTR text = nullptr;
  IUnknown* object = nullptr;
  GUID type{};
  DWORD word = 0;
  const HRESULT answers[] = {
      descriptor->GetName(&text),        descriptor->SetName(L"T"),           descriptor->GetSecondString(&text),
      descriptor->SetSecondString(L"S"), descriptor->GetStyleObject(&object), descriptor->SetStyleObject(nullptr),
      descriptor->GetType(&type),        descriptor->SetType(&type),          descriptor->GetContext(&object),
      descriptor->SetContext(nullptr),   descriptor->GetEntryWord(&word),     descriptor->SetEntryWord(1)};
  for (HRESULT hr : answers) EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ReportsFrom(kSource), 12);
}

// Slots 3 to 14, each with what it must keep or hand out; the pointer checks answer E_FAIL, reported.
TEST_F(DescriptorTest, ByPlace) {
  GiveRecord();
  LPWSTR untouched = reinterpret_cast<LPWSTR>(0x1234);
  LPWSTR first = nullptr;
  LPWSTR second = nullptr;
  EXPECT_EQ(CallSlot(descriptor, 4, L""), S_OK);
  EXPECT_EQ(CallSlot(descriptor, 3, &untouched), S_OK);
  EXPECT_EQ(untouched, reinterpret_cast<LPWSTR>(0x1234));
  EXPECT_EQ(CallSlot(descriptor, 4, L"T"), S_OK);
  ASSERT_EQ(CallSlot(descriptor, 3, &first), S_OK);
  ASSERT_EQ(CallSlot(descriptor, 3, &second), S_OK);
  EXPECT_STREQ(first, L"T");
  EXPECT_NE(first, second);  // a fresh block each call, the caller's to free
  std::free(first);
  std::free(second);
  EXPECT_EQ(CallSlot(descriptor, 6, L"S"), S_OK);
  ASSERT_EQ(CallSlot(descriptor, 5, &first), S_OK);
  EXPECT_STREQ(first, L"S");
  std::free(first);

  // The object and the context are held: released by the caller, they stay alive.
  TestLineStyle* style = TestLineStyle::Create();
  TestLineStyle* context = TestLineStyle::Create();
  EXPECT_EQ(CallSlot(descriptor, 8, style->Unknown()), S_OK);
  EXPECT_EQ(CallSlot(descriptor, 8, style->Unknown()), S_OK);  // the held object again
  EXPECT_EQ(CallSlot(descriptor, 12, context->Unknown()), S_OK);
  EXPECT_EQ(style->Release(), 1u);
  EXPECT_EQ(context->Release(), 1u);
  IUnknown* out = nullptr;
  EXPECT_EQ(CallSlot(descriptor, 7, &out), S_OK);
  EXPECT_EQ(out, style->Unknown());
  out->Release();
  EXPECT_EQ(CallSlot(descriptor, 11, &out), S_OK);
  EXPECT_EQ(out, context->Unknown());
  out->Release();

  GUID type{};
  EXPECT_EQ(CallSlot(descriptor, 10, &STYLETYPE_TextPara), S_OK);
  EXPECT_EQ(CallSlot(descriptor, 9, &type), S_OK);
  EXPECT_EQ(type, STYLETYPE_TextPara);
  DWORD word = 0;
  EXPECT_EQ(CallSlot(descriptor, 14, DWORD{0x40}), S_OK);
  EXPECT_EQ(CallSlot(descriptor, 13, &word), S_OK);
  EXPECT_EQ(word, 0x40u);

  stylesrv_test::ClearReports();
  const HRESULT refused[] = {CallSlot(descriptor, 7, static_cast<IUnknown**>(nullptr)),
                             CallSlot(descriptor, 13, static_cast<DWORD*>(nullptr)),
                             CallSlot(descriptor, 9, static_cast<GUID*>(nullptr)),
                             CallSlot(descriptor, 10, static_cast<const GUID*>(nullptr))};
  for (HRESULT hr : refused) EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ReportsFrom(kSource), 4);
}

}  // namespace
