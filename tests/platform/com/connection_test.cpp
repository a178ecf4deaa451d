#include "platform/com/connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/dispatchobject.h"

using com::ComPtr;
using com::DispParams;
using com::FunctionSink;
using com::Variant;

namespace {

constexpr IID kItemsEvents = com::GuidLiteral("00063077-0000-0000-C000-000000000046");
constexpr IID kOtherEvents = com::GuidLiteral("0006304F-0000-0000-C000-000000000046");
constexpr DISPID kItemAdd = 0xF001;

// An event source: a collection that announces each added item.
class Items : public com::DispatchObject {
 public:
  explicit Items(bool* destroyed = nullptr) : destroyed_(destroyed) {
    AddEventSource(kItemsEvents);
    Method("Add", 1, 1, [this](const DispParams& a) { return FireEvent(kItemsEvents, kItemAdd, {a[0]}); });
  }
  ~Items() override {
    if (destroyed_) *destroyed_ = true;
  }
  using DispatchObject::FireEvent;
  using DispatchObject::SinkCount;

 private:
  bool* destroyed_;
};

// Records what each sink received, in delivery order.
struct Journal {
  std::vector<std::string> lines;
  void Note(const std::string& who, DISPID id, const DispParams& args) {
    lines.push_back(who + ":" + std::to_string(id) + ":" + (args.Count() ? args[0].AsText() : ""));
  }
};

ComPtr<FunctionSink> MakeSink(Journal& journal, const std::string& who, const IID& events = kItemsEvents) {
  return com::Make<FunctionSink>(events, [&journal, who](DISPID id, const DispParams& args) {
    journal.Note(who, id, args);
  });
}

class ConnectionTest : public ::testing::Test {
 protected:
  int Add(const std::string& text) {
    Variant called;
    EXPECT_EQ(com::CallMethod(items_.Get(), "Add", {Variant(text)}, &called), S_OK);
    return called.AsInt();
  }

  ComPtr<Items> items_ = com::Make<Items>();
  Journal journal_;
};

TEST_F(ConnectionTest, TwoSinksGetEveryEventUntilTheyUnadvise) {
  auto a = MakeSink(journal_, "a");
  auto b = MakeSink(journal_, "b");
  ASSERT_EQ(a->Connect(items_->Identity()), S_OK);
  ASSERT_EQ(b->Connect(items_->Identity()), S_OK);
  EXPECT_EQ(items_->SinkCount(kItemsEvents), 2u);

  EXPECT_EQ(Add("first"), 2);
  ASSERT_EQ(a->Disconnect(), S_OK);
  EXPECT_EQ(Add("second"), 1);
  ASSERT_EQ(b->Disconnect(), S_OK);
  EXPECT_EQ(Add("third"), 0);

  const std::vector<std::string> expected = {"a:61441:first", "b:61441:first", "b:61441:second"};
  EXPECT_EQ(journal_.lines, expected);
  EXPECT_FALSE(a->Connected());
}

TEST_F(ConnectionTest, ConnectionPointProtocol) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(items_.As(container), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(kOtherEvents, point.Put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(point);
  ASSERT_EQ(container->FindConnectionPoint(kItemsEvents, point.Put()), S_OK);

  IID iid;
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, kItemsEvents);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(point->GetConnectionPointContainer(back.Put()), S_OK);
  EXPECT_EQ(back.Get(), container.Get());

  auto sink = MakeSink(journal_, "s");
  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(point->Advise(sink->Identity(), &c1), S_OK);
  ASSERT_EQ(point->Advise(sink->Identity(), &c2), S_OK);
  EXPECT_NE(c1, 0u);
  EXPECT_NE(c1, c2);
  EXPECT_EQ(point->Unadvise(c1), S_OK);
  EXPECT_EQ(point->Unadvise(c1), CONNECT_E_NOCONNECTION) << "a cookie works once";
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Advise(nullptr, &c1), E_POINTER);
  EXPECT_EQ(point->Unadvise(c2), S_OK);
}

TEST_F(ConnectionTest, SinkMustAnswerTheEventInterface) {
  auto wrong = MakeSink(journal_, "w", kOtherEvents);
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  EXPECT_EQ(com::Advise(items_->Identity(), kItemsEvents, wrong->Identity(), point, cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_FALSE(point);
  EXPECT_EQ(items_->SinkCount(kItemsEvents), 0u);

  // A source without events has no connection-point container at all.
  auto quiet = com::Make<FunctionSink>(kItemsEvents, nullptr);
  EXPECT_EQ(com::Advise(quiet->Identity(), kItemsEvents, wrong->Identity(), point, cookie), E_NOINTERFACE);
}

TEST_F(ConnectionTest, UnadviseDuringDeliveryIsSafe) {
  // "a" disconnects itself and "c" while handling the event; "b" and "d" go on receiving.
  ComPtr<FunctionSink> a, b, c, d;
  b = MakeSink(journal_, "b");
  c = MakeSink(journal_, "c");
  d = MakeSink(journal_, "d");
  a = com::Make<FunctionSink>(kItemsEvents, [&](DISPID id, const DispParams& args) {
    journal_.Note("a", id, args);
    a->Disconnect();
    c->Disconnect();
    a.Reset();  // and drops the last reference to itself: the delivery must not touch it again
  });
  for (auto* s : {&a, &b, &c, &d}) ASSERT_EQ((*s)->Connect(items_->Identity()), S_OK);

  EXPECT_EQ(Add("one"), 3) << "a, b and d; c was gone before its turn";
  EXPECT_EQ(Add("two"), 2);
  const std::vector<std::string> expected = {"a:61441:one", "b:61441:one", "d:61441:one", "b:61441:two",
                                             "d:61441:two"};
  EXPECT_EQ(journal_.lines, expected);
  b->Disconnect();
  d->Disconnect();
}

TEST_F(ConnectionTest, SinkAdvisedDuringDeliveryWaitsForTheNextEvent) {
  ComPtr<FunctionSink> late = MakeSink(journal_, "late");
  auto first = com::Make<FunctionSink>(kItemsEvents, [&](DISPID id, const DispParams& args) {
    journal_.Note("first", id, args);
    if (!late->Connected()) late->Connect(items_->Identity());
  });
  ASSERT_EQ(first->Connect(items_->Identity()), S_OK);
  EXPECT_EQ(Add("one"), 1);
  EXPECT_EQ(Add("two"), 2);
  const std::vector<std::string> expected = {"first:61441:one", "first:61441:two", "late:61441:two"};
  EXPECT_EQ(journal_.lines, expected);
  first->Disconnect();
  late->Disconnect();
}

TEST_F(ConnectionTest, SourceReleasedByASinkFinishesTheDelivery) {
  bool destroyed = false;
  items_ = com::Make<Items>(&destroyed);
  auto b = MakeSink(journal_, "b");
  auto a = com::Make<FunctionSink>(kItemsEvents, [&](DISPID id, const DispParams& args) {
    journal_.Note("a", id, args);
    items_.Reset();  // the last outside reference to the source
  });
  ASSERT_EQ(a->Connect(items_->Identity()), S_OK);
  ASSERT_EQ(b->Connect(items_->Identity()), S_OK);
  Items* raw = items_.Get();
  EXPECT_EQ(raw->FireEvent(kItemsEvents, kItemAdd, {Variant("x")}), 2);
  EXPECT_EQ(journal_.lines, (std::vector<std::string>{"a:61441:x", "b:61441:x"}));
  EXPECT_TRUE(destroyed) << "the source goes once the delivery is over";
  // Its points let go of the sinks; the sinks' own disconnects find nothing left.
  EXPECT_EQ(a->Disconnect(), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(b->Disconnect(), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionTest, PointOutlivingItsSourceIsHarmless) {
  ComPtr<IConnectionPoint> point;
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(items_.As(container), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(kItemsEvents, point.Put()), S_OK);
  container.Reset();
  auto sink = MakeSink(journal_, "s");
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(sink->Identity(), &cookie), S_OK);
  items_.Reset();  // the source dies with the sink still advised

  ComPtr<IConnectionPointContainer> back;
  EXPECT_EQ(point->GetConnectionPointContainer(back.Put()), E_UNEXPECTED);
  EXPECT_FALSE(back);
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionTest, FailingSinksDoNotStopTheOthers) {
  auto thrower = com::Make<FunctionSink>(kItemsEvents, [&](DISPID, const DispParams&) {
    throw std::runtime_error("handler failed");
  });
  auto b = MakeSink(journal_, "b");
  ASSERT_EQ(thrower->Connect(items_->Identity()), S_OK);
  ASSERT_EQ(b->Connect(items_->Identity()), S_OK);
  EXPECT_EQ(Add("x"), 2);
  EXPECT_EQ(journal_.lines, std::vector<std::string>{"b:61441:x"});
  thrower->Disconnect();
  b->Disconnect();
}

}  // namespace
