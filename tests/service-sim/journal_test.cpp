#include "service-sim/journal.h"

#include <gtest/gtest.h>

#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;

class SimJournal : public vlrtest::HomeTest {
 protected:
  // Records a request whose spooled body is `body`.
  void Add(sim::Journal& journal, const std::string& body) {
    sim::RecordedRequest r;
    r.seq = journal.NextSeq();
    r.method = "POST";
    r.target = "/t/" + std::to_string(r.seq);
    r.version = "HTTP/1.1";
    r.headers = {{"Content-Type", "text/xml"}, {"X-Seq", std::to_string(r.seq)}};
    r.bodyFile = journal.BodyPath(r.seq);
    r.bodySize = body.size();
    vlrtest::WriteFile(r.bodyFile, body);
    journal.Add(std::move(r));
  }
  size_t SpooledFiles() const {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(home_.Tmp())) n += e.path().extension() == ".body";
    return n;
  }
};

TEST_F(SimJournal, KeepsTheNewestAndDeletesOlderBodies) {
  sim::Journal journal(home_.Tmp(), 3);
  for (const char* body : {"a", "b", "c", "d", "e"}) Add(journal, body);
  auto latest = journal.Latest(10);
  ASSERT_EQ(latest.size(), 3u);
  EXPECT_EQ(latest[0].target, "/t/5");
  EXPECT_EQ(latest[2].target, "/t/3");
  EXPECT_EQ(vlrtest::ReadFile(latest[0].bodyFile), "e");
  EXPECT_EQ(SpooledFiles(), 3u);
  EXPECT_EQ(journal.Latest(1).size(), 1u);
}

TEST_F(SimJournal, BigBodiesPushOutOlderOnesButTheNewestStays) {
  sim::Journal journal(home_.Tmp(), 32, 100);
  Add(journal, std::string(40, 'a'));
  Add(journal, std::string(40, 'b'));
  EXPECT_EQ(journal.Latest(10).size(), 2u);
  Add(journal, std::string(40, 'c'));  // 120 bytes: the oldest goes
  auto latest = journal.Latest(10);
  ASSERT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest[1].bodySize, 40u);
  EXPECT_EQ(vlrtest::ReadFile(latest[1].bodyFile), std::string(40, 'b'));
  Add(journal, std::string(500, 'd'));  // alone over the budget, still kept
  latest = journal.Latest(10);
  ASSERT_EQ(latest.size(), 1u);
  EXPECT_EQ(latest[0].bodySize, 500u);
  EXPECT_EQ(SpooledFiles(), 1u);
}

TEST_F(SimJournal, HeadTextIsTheRequestLineAndHeaders) {
  sim::Journal journal(home_.Tmp());
  Add(journal, "x");
  EXPECT_EQ(journal.Latest(1)[0].HeadText(), "POST /t/1 HTTP/1.1\r\nContent-Type: text/xml\r\nX-Seq: 1\r\n\r\n");
}

TEST_F(SimJournal, ClearDeletesEverything) {
  sim::Journal journal(home_.Tmp());
  Add(journal, "x");
  Add(journal, "y");
  journal.Clear();
  EXPECT_TRUE(journal.Latest(5).empty());
  EXPECT_EQ(SpooledFiles(), 0u);
}

}  // namespace
