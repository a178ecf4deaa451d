// Starting and stopping the real simulator, and what it leaves on disk.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

namespace fs = std::filesystem;
namespace soap = vlrtest::simsoap;

const std::string kSim = VLR_BIN_DIR "/attestra-sim";

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A loopback socket that holds a port so that the simulator cannot have it.
class BusyPort {
 public:
  BusyPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 1);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~BusyPort() { close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

using SimLifecycle = vlrtest::HomeTest;

TEST_F(SimLifecycle, StopsCleanlyOnSigterm) {
  vlrtest::SimProcess sim;
  EXPECT_EQ(sim.Post("/nowhere", "x").status, 404);
  EXPECT_EQ(sim.Stop(), 0);
  std::string log = sim.LogText();
  EXPECT_NE(log.find(" stopped\n"), std::string::npos) << log;
}

TEST_F(SimLifecycle, StopsCleanlyOnSigint) {
  vlrtest::SimProcess sim;
  ASSERT_EQ(kill(sim.Pid(), SIGINT), 0);
  for (int i = 0; i < 2000 && sim.Running(); ++i) usleep(10000);
  EXPECT_FALSE(sim.Running());
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimLifecycle, WritesOnlyInsideItsDataFolder) {
  // The simulator inherits this test's working folder, $TMPDIR and $VLR_HOME.
  const fs::path work = fs::path(home_.Root()) / "work";
  fs::create_directories(work);
  const fs::path before = fs::current_path();
  fs::current_path(work);
  std::string dataDir;
  {
    vlrtest::SimProcess sim({.tls = true, .accounts = {{"ann@example.com", "secret", "1001", "Acme", "u"}}});
    dataDir = sim.DataDir();
    sim.InjectStatus(503);
    sim.Post(std::string("/") + attestra::kCredentialPath, soap::LoginEnvelope("ann@example.com", "secret"));
    sim.Post(std::string("/") + attestra::kApiPath,
             soap::ApiEnvelope("NoSuchOperation", "<Big>" + std::string(200000, 'x') + "</Big>",
                               {.email = "ann@example.com", .password = "secret", .accountId = "1001"}));
    EXPECT_EQ(sim.Stop(), 0);
    // A clean stop checkpoints the write-ahead log into the database.
    EXPECT_EQ(Entries(dataDir),
              (std::vector<std::string>{"attestra-sim.log", "cert.pem", "key.pem", "spool", "state.sqlite"}));
  }
  fs::current_path(before);
  EXPECT_TRUE(Entries(work.string()).empty());
  EXPECT_TRUE(Entries(home_.Home()).empty());
  EXPECT_TRUE(Entries(home_.Tmp()).empty());  // the data folder itself went with the fixture
}

TEST_F(SimLifecycle, KeepsItsStateInSqliteInWalMode) {
  vlrtest::SimProcess sim({.accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-1"}}});
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((sim.DataDir() + "/state.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
  sqlite3_finalize(s);
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT account_id, user_id FROM accounts", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "1001");
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)), "u-1");
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST_F(SimLifecycle, ListensOnTheGivenPort) {
  int port = 0;
  {
    BusyPort probe;  // a port that was free a moment ago
    port = probe.Port();
  }
  vlrtest::SimProcess sim({.port = port});
  EXPECT_EQ(sim.Port(), port);
  EXPECT_EQ(sim.Post("/nowhere", "x").status, 404);
}

TEST_F(SimLifecycle, RefusesABusyPortAndBadArguments) {
  BusyPort busy;
  std::string out, err;
  EXPECT_EQ(vlrtest::RunCommand(kSim + " --port " + std::to_string(busy.Port()) + " --data " + home_.Tmp() + "/d",
                                &out, &err),
            1);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("cannot listen on 127.0.0.1:" + std::to_string(busy.Port())), std::string::npos) << err;

  EXPECT_EQ(vlrtest::RunCommand(kSim + " --port 0", &out, &err), 2);
  EXPECT_NE(err.find("--data is required"), std::string::npos) << err;
  EXPECT_NE(err.find("usage: attestra-sim"), std::string::npos);
  EXPECT_EQ(vlrtest::RunCommand(kSim + " --help", &out, &err), 0);
  EXPECT_NE(out.find("usage: attestra-sim"), std::string::npos);
}

}  // namespace
