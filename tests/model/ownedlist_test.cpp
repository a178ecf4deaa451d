#include "model/ownedlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/testenv.h"

namespace {

// An item that counts the live instances of its kind, so the tests can see deletions.
struct Item {
  Item(std::string n, int* live) : name(std::move(n)), live(live) { ++*live; }
  ~Item() { --*live; }
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;

  std::unique_ptr<Item> Clone() const {
    if (name == "unclonable") throw std::bad_alloc();
    return std::make_unique<Item>(name, live);
  }

  std::string name;
  int* live;
};

using ItemList = COwnedList<Item>;

std::vector<std::string> Names(const ItemList& list) {
  std::vector<std::string> names;
  for (const Item& item : list) names.push_back(item.name);
  return names;
}

class OwnedListTest : public vlrtest::HomeTest {
 protected:
  std::unique_ptr<Item> Make(const std::string& name) { return std::make_unique<Item>(name, &live_); }
  int live_ = 0;
};

using V = std::vector<std::string>;

TEST_F(OwnedListTest, AppendPrependAndInsertKeepTheirPlaces) {
  ItemList list;
  list.Append(Make("b"));
  list.Prepend(Make("a"));
  list.Append(Make("d"));
  list.Insert(list.Find(list.Last()), Make("c"));
  EXPECT_EQ(Names(list), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(list.First()->name, "a");
  EXPECT_EQ(list.Last()->name, "d");
  EXPECT_EQ(list.At(2)->name, "c");
  EXPECT_EQ(list.At(4), nullptr);
}

TEST_F(OwnedListTest, NullItemsAreNotAdded) {
  ItemList list;
  EXPECT_EQ(list.Append(nullptr), nullptr);
  EXPECT_EQ(list.Prepend(nullptr), nullptr);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Last(), nullptr);
}

TEST_F(OwnedListTest, FindTakeAndRemove) {
  ItemList list, other;
  Item* a = list.Append(Make("a"));
  Item* b = list.Append(Make("b"));
  Item* stranger = other.Append(Make("x"));

  EXPECT_TRUE(list.Contains(b));
  EXPECT_FALSE(list.Contains(stranger));
  EXPECT_FALSE(list.Contains(nullptr));
  EXPECT_EQ(list.FindIf([](const Item& i) { return i.name == "b"; }), b);
  EXPECT_EQ(list.FindIf([](const Item& i) { return i.name == "z"; }), nullptr);

  // Removing what the list does not hold changes nothing, in either list.
  EXPECT_FALSE(list.Remove(stranger));
  EXPECT_EQ(list.Take(stranger), nullptr);
  EXPECT_EQ(other.size(), 1u);

  std::unique_ptr<Item> taken = list.Take(a);
  ASSERT_EQ(taken.get(), a);
  EXPECT_EQ(Names(list), (V{"b"}));
  EXPECT_EQ(live_, 3);  // taken, not deleted

  EXPECT_TRUE(list.Remove(b));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(live_, 2);
}

TEST_F(OwnedListTest, EraseAndRemoveIfDeleteAndContinue) {
  ItemList list;
  for (const char* n : {"keep1", "drop1", "drop2", "keep2", "drop3"}) list.Append(Make(n));
  EXPECT_EQ(list.RemoveIf([](const Item& i) { return i.name.rfind("drop", 0) == 0; }), 3u);
  EXPECT_EQ(Names(list), (V{"keep1", "keep2"}));
  EXPECT_EQ(live_, 2);

  auto next = list.Erase(list.begin());
  EXPECT_EQ(next->name, "keep2");
  EXPECT_EQ(live_, 1);
}

TEST_F(OwnedListTest, ClearAndDestructionDeleteEveryItem) {
  {
    ItemList list;
    for (int i = 0; i < 5; ++i) list.Append(Make(std::to_string(i)));
    list.Clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(live_, 0);
    for (int i = 0; i < 3; ++i) list.Append(Make(std::to_string(i)));
    EXPECT_EQ(live_, 3);
  }
  EXPECT_EQ(live_, 0);
}

TEST_F(OwnedListTest, MovingHandsTheItemsOver) {
  ItemList target;
  target.Append(Make("old"));
  {
    ItemList source;
    source.Append(Make("a"));
    source.Append(Make("b"));
    target = std::move(source);
  }
  EXPECT_EQ(Names(target), (V{"a", "b"}));
  EXPECT_EQ(live_, 2);  // "old" deleted, the moved items alive
}

TEST_F(OwnedListTest, PositionsSurviveChangesElsewhere) {
  ItemList list;
  list.Append(Make("a"));
  Item* b = list.Append(Make("b"));
  list.Append(Make("c"));
  auto pos = list.Find(b);
  list.Prepend(Make("front"));
  list.Remove(list.First());
  list.Remove(list.Last());
  list.Append(Make("d"));
  ASSERT_NE(pos, list.end());
  EXPECT_EQ(pos->name, "b");
  ++pos;
  EXPECT_EQ(pos->name, "d");
}

TEST_F(OwnedListTest, ReverseAndSwap) {
  ItemList a, b;
  for (const char* n : {"1", "2", "3"}) a.Append(Make(n));
  b.Append(Make("x"));
  a.Reverse();
  EXPECT_EQ(Names(a), (V{"3", "2", "1"}));
  a.Swap(b);
  EXPECT_EQ(Names(a), (V{"x"}));
  EXPECT_EQ(Names(b), (V{"3", "2", "1"}));
}

TEST_F(OwnedListTest, CloneItemsCopiesInOrderIntoNewItems) {
  ItemList source;
  for (const char* n : {"a", "b", "c"}) source.Append(Make(n));
  ItemList copies = CloneItems(source);
  EXPECT_EQ(Names(copies), Names(source));
  EXPECT_EQ(live_, 6);
  for (auto s = source.begin(), c = copies.begin(); s != source.end(); ++s, ++c)
    EXPECT_NE(&*s, &*c);
  source.Clear();
  EXPECT_EQ(Names(copies), (V{"a", "b", "c"}));
}

TEST_F(OwnedListTest, AFailedCloneLeavesNoPartialCopyBehind) {
  ItemList source;
  for (const char* n : {"a", "b", "unclonable", "d"}) source.Append(Make(n));
  EXPECT_THROW(CloneItems(source), std::bad_alloc);
  EXPECT_EQ(live_, 4);  // the copies of a and b were deleted
}

TEST_F(OwnedListTest, ConstListsWalkAndFind) {
  ItemList list;
  list.Append(Make("a"));
  const ItemList& view = list;
  ItemList::const_iterator it = list.begin();  // a mutable position converts
  EXPECT_EQ(it->name, "a");
  EXPECT_EQ(view.FindIf([](const Item& i) { return i.name == "a"; }), view.First());
  EXPECT_EQ(view.Find(view.First()), view.begin());
}

}  // namespace
