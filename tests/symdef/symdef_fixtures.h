// What the symbol definition's tests share: definitions made as a host makes them, elements kept by a host
// document, and what the document was asked.
#pragma once

#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/symdef/JSymbolDef.h"
#include "host/app/copy_context.h"
#include "host/app/graphic_element.h"
#include "tests/bases/test_styles.h"

namespace symdef_test {

inline constexpr char kSource[] = "JSYMDEF";

// A definition with its interfaces, one reference each.
struct Definition {
  // Takes over one reference of the object (null leaves every pointer null).
  explicit Definition(IUnknown* object);

  StyleComPtr<IUnknown> unknown;
  StyleComPtr<IJSymbolDefinition> def;
  StyleComPtr<IJGraphic> graphic;
  StyleComPtr<IJPersist> persist;
  StyleComPtr<IJStyleUser> user;
  StyleComPtr<IJCopyParticipant> participant;

  DWORD Count() const;
  // The elements as GetElements hands them out, in order (identities, without references).
  std::vector<IUnknown*> Elements() const;
  // The ID list as the plain exchange stores it.
  std::vector<DWORD> StoredIDs() const;
};

// The identity of an object, without a reference.
IUnknown* IdentityOf(IUnknown* object);

// A host document for the length of a test, and elements registered in it.
class TestDocument {
 public:
  TestDocument();
  IJDocumentNamedObjects* operator->() const { return m_document.Get(); }
  IJDocumentNamedObjects* get() const { return m_document.Get(); }
  // Registers the object and answers its persistent ID.
  DWORD Register(IUnknown* object) const;

 private:
  StyleComPtr<IJDocumentNamedObjects> m_document;
};

// What documents were asked since the last clear, in order.
std::vector<HostDocumentCall> DocumentCalls();
std::vector<HostDocumentCall> DocumentCallsOf(DWORD kind);

class SymbolDefTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A definition through CreateLiteSymbol holding the elements.
  Definition Make(std::vector<IUnknown*> elements = {});
  // A polyline element owned by the test (released at the end of the test).
  IUnknown* Element(std::vector<double> points = {0, 0, 0, 1, 0, 0}, bool styleUser = false,
                    std::vector<DWORD> usedStyleIDs = {});
  // Keeps an object alive until the end of the test; answers it.
  IUnknown* Hold(IUnknown* object);

  stylesrv_test::ServerModule server;
  decltype(&CreateLiteSymbol) createLiteSymbol = nullptr;

 private:
  std::vector<IUnknown*> m_held;  // one reference each
};

}  // namespace symdef_test
