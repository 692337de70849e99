#include <vector>

#include "display/style/ptrlist.h"
#include "tests/support/stylesrv_test.h"

using ::testing::ElementsAre;

namespace {

std::vector<int> Values(const JPtrList& list) {
  std::vector<int> values;
  for (JPtrList::Node* node = list.GetHead(); node; node = node->next) {
    values.push_back(static_cast<int>(reinterpret_cast<INT_PTR>(node->value)));
  }
  // Walking back from the tail must meet the same nodes.
  std::vector<int> backwards;
  for (JPtrList::Node* node = list.GetTail(); node; node = node->prev) {
    backwards.insert(backwards.begin(), static_cast<int>(reinterpret_cast<INT_PTR>(node->value)));
  }
  EXPECT_EQ(values, backwards);
  EXPECT_EQ(values.size(), list.GetCount());
  return values;
}

void* Value(int v) { return reinterpret_cast<void*>(static_cast<INT_PTR>(v)); }

TEST(PtrListTest, HeadAndTailInsertionsAndRemovalsKeepBothDirectionsLinked) {
  JPtrList list;
  list.AddTail(Value(2));
  list.AddHead(Value(1));
  list.AddTail(Value(3));
  list.AddHead(Value(0));
  EXPECT_THAT(Values(list), ElementsAre(0, 1, 2, 3));

  list.RemoveAt(list.Find(Value(1)));  // inside
  EXPECT_THAT(Values(list), ElementsAre(0, 2, 3));
  list.RemoveAt(list.Find(Value(0)));  // head
  list.RemoveAt(list.Find(Value(3)));  // tail
  EXPECT_THAT(Values(list), ElementsAre(2));
  EXPECT_EQ(list.Find(Value(3)), nullptr);
  list.RemoveAt(list.GetHead());
  EXPECT_EQ(list.GetHead(), nullptr);
  EXPECT_EQ(list.GetTail(), nullptr);
  list.AddHead(Value(7));
  EXPECT_THAT(Values(list), ElementsAre(7));
}

TEST(PtrListTest, NodesComeInChunksOfTenAndRemovedNodesAreTakenFirst) {
  const LONG chunks = JPlexLiveChunks();
  {
    JPtrList list(10);
    for (int i = 0; i < 10; ++i) list.AddHead(Value(i));
    EXPECT_EQ(JPlexLiveChunks(), chunks + 1);
    JPtrList::Node* eleventh = list.AddHead(Value(10));
    EXPECT_EQ(JPlexLiveChunks(), chunks + 2);

    list.RemoveAt(eleventh);
    EXPECT_EQ(list.AddTail(Value(11)), eleventh);  // the freed node comes back first
    for (int i = 0; i < 9; ++i) list.AddTail(Value(12 + i));
    EXPECT_EQ(JPlexLiveChunks(), chunks + 2);
    EXPECT_EQ(list.GetCount(), 20u);

    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(JPlexLiveChunks(), chunks);
    list.AddTail(Value(1));
    EXPECT_EQ(JPlexLiveChunks(), chunks + 1);
  }
  EXPECT_EQ(JPlexLiveChunks(), chunks);
}

}  // namespace
