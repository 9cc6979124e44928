// Components: owners free what they own, freed components leave their owner.
#include <gtest/gtest.h>

#include <vector>

#include "toolkit/Classes.h"

using namespace kv;

namespace {

class Tracked : public TComponent {
 public:
  Tracked(TComponent* owner, std::vector<String>* log, String name) : TComponent(owner), FLog(log) {
    SetName(std::move(name));
  }
  ~Tracked() override { FLog->push_back(Name()); }

 private:
  std::vector<String>* FLog;
};

}  // namespace

TEST(ComponentTest, OwnersFreeTheirComponentsLastFirst) {
  std::vector<String> freed;
  {
    Tracked root(nullptr, &freed, u"root");
    auto* a = new Tracked(&root, &freed, u"a");
    new Tracked(&root, &freed, u"b");
    new Tracked(a, &freed, u"a.child");
    EXPECT_EQ(root.ComponentCount(), 2);
    EXPECT_EQ(root.Components(1)->Name(), u"b");
    EXPECT_EQ(a->ComponentIndex(), 0);
    EXPECT_EQ(root.ComponentIndex(), -1);
    EXPECT_EQ(root.FindComponent(u"B"), root.Components(1));
    EXPECT_EQ(root.FindComponent(u"a.child"), nullptr);  // only direct components
    EXPECT_THROW(root.Components(2), EListError);
  }
  // A descendant's destructor runs first, then the owned components go, last first.
  EXPECT_EQ(freed, (std::vector<String>{u"root", u"b", u"a", u"a.child"}));
}

TEST(ComponentTest, FreedOrMovedComponentsLeaveTheirOwner) {
  std::vector<String> freed;
  Tracked first(nullptr, &freed, u"first");
  Tracked second(nullptr, &freed, u"second");
  auto* c = new Tracked(&first, &freed, u"c");
  auto* d = new Tracked(&first, &freed, u"d");
  delete c;
  EXPECT_EQ(first.ComponentCount(), 1);
  EXPECT_EQ(first.Components(0), d);
  second.InsertComponent(d);
  EXPECT_EQ(first.ComponentCount(), 0);
  EXPECT_EQ(d->Owner(), &second);
  second.RemoveComponent(d);
  EXPECT_EQ(d->Owner(), nullptr);
  delete d;
  EXPECT_EQ(freed, (std::vector<String>{u"c", u"d"}));
}
