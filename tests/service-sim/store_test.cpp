#include "service-sim/store.h"

#include <gtest/gtest.h>

#include "tests/support/testenv.h"

namespace {

class SimStore : public vlrtest::HomeTest {
 protected:
  std::filesystem::path File() const { return std::filesystem::path(home_.Tmp()) / "state.sqlite"; }
};

TEST_F(SimStore, FindsAccountsByEmailInAnyCaseAndKeepsTheStoredSpelling) {
  sim::Store store(File());
  store.PutAccount({"Ann@Example.com", "pw", "1001", "Acme", "u1"});
  store.PutAccount({"ann@example.com", "pw", "1002", "Beta", "u2"});
  store.PutAccount({"bob@example.com", "pw", "2001", "Bob", "u3"});
  auto found = store.AccountsByEmail("ANN@EXAMPLE.COM");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].accountId, "1001");
  EXPECT_EQ(found[0].email, "Ann@Example.com");
  EXPECT_EQ(found[1].accountId, "1002");
  EXPECT_TRUE(store.AccountsByEmail("nobody@example.com").empty());
}

TEST_F(SimStore, PuttingTheSameEmailAndAccountReplacesItInPlace) {
  sim::Store store(File());
  store.PutAccount({"ann@example.com", "old", "1001", "Acme", "u1"});
  store.PutAccount({"ann@example.com", "pw", "1002", "Beta", "u2"});
  store.PutAccount({"ANN@example.com", "new", "1001", "Acme Renamed", "u9"});
  auto found = store.AccountsByEmail("ann@example.com");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].accountId, "1001");
  EXPECT_EQ(found[0].password, "new");
  EXPECT_EQ(found[0].accountName, "Acme Renamed");
  EXPECT_EQ(found[0].email, "ANN@example.com");
}

TEST_F(SimStore, StateOutlivesTheProcessObject) {
  { sim::Store(File()).PutAccount({"ann@example.com", "pw", "1001", "Acme", "u1"}); }
  sim::Store again(File());
  EXPECT_EQ(again.AccountsByEmail("ann@example.com").size(), 1u);
}

TEST_F(SimStore, ANonceCountsAsReplayUntilItsTimeHasPassed) {
  sim::Store store(File());
  EXPECT_TRUE(store.UseNonce("n1", 1000, 1300));
  EXPECT_FALSE(store.UseNonce("n1", 1100, 1400));
  EXPECT_FALSE(store.UseNonce("n1", 1300, 1600));
  EXPECT_TRUE(store.UseNonce("n2", 1100, 1400));
  EXPECT_TRUE(store.UseNonce("n1", 1301, 1601));  // forgotten once its time passed
  store.ForgetNonces();
  EXPECT_TRUE(store.UseNonce("n2", 1302, 1602));
}

}  // namespace
