// The pump, its status bar and the error dialog on the offscreen platform, with operations
// against the real attestra-sim.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <memory>

#include "foundation/config.h"
#include "operations/oplogin.h"
#include "operations/protocol.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "tests/transport/guitest.h"
#include "transport/dlgerror.h"
#include "transport/pumpop.h"
#include "transport/stringtable.h"
#include "transport/webapi.h"

namespace {

const vlrtest::SimAccount kAnn{"ann@example.com", "secret", "1001", "Acme Legal", "u-ann"};

// A dialog that pumps one operation and can keep it after stage 5 (as the synchronisation
// dialog does) or take its result and end.
class PumpHost : public QDialog, public CPumpOp {
 public:
  explicit PumpHost(CWebSvrAPI* api) : CPumpOp(api) {
    new QVBoxLayout(this);
    layout()->addWidget(new QLabel("working", this));
    resize(400, 120);
    fallbackErrorId_ = ids::kCredentialsRejected;
  }
  bool IsOpDone(CWebSvrOp&) override {
    ++asked;
    return done;
  }
  bool event(QEvent* e) override {
    if (const CWinMsgEvent* m = CWinMsgEvent::From(e); m && m->message == WMU_RUN_OP) stages.push_back(int(m->wParam));
    if (HandleRunMessage(e)) return true;
    return QDialog::event(e);
  }
  void CloseAtEnd() { closeAtEnd_ = true; }
  bool done = true;
  int asked = 0;
  std::vector<int> stages;
};

class PumpTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", 0L);
    SetTheProtocol(std::make_unique<CProtocol>());
    ASSERT_EQ(TheProtocol()->Connect(sim_->CredentialUrl()), S_OK);
  }
  void TearDown() override { SetTheProtocol(nullptr); }

  std::unique_ptr<OpLogin> Login() {
    auto op = std::make_unique<OpLogin>(TheApi()->Endpoint());
    op->Credentials().email = kAnn.email;
    op->Credentials().password = kAnn.password;
    return op;
  }

  std::unique_ptr<vlrtest::SimProcess> sim_;
};

TEST(ErrorDialog, ShowsItsTextAndTheDetail) {
  CDlgError dialog(nullptr);
  dialog.SetDetail("Envelope not found.");
  EXPECT_EQ(dialog.windowTitle(), "Attestra Error");
  EXPECT_EQ(vlrtest::Child<QLabel>(&dialog, "id10048")->text(),
            "The current Attestra operation could not be performed successfully.");
  auto* detail = vlrtest::Child<QPlainTextEdit>(&dialog, "id1000");
  EXPECT_EQ(detail->toPlainText(), "Envelope not found.");
  EXPECT_TRUE(detail->isReadOnly());
  vlrtest::WhenModal<CDlgError>([](CDlgError* d) { vlrtest::Child<QPushButton>(d, "id1")->click(); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST(StringTable, HoldsTheTextsOfThePump) {
  EXPECT_EQ(LoadResString(9015), "Operation Failed!");
  EXPECT_EQ(LoadResString(9020),
            "Your user credentials were rejected by Attestra.  Please check these values to ensure they are correct.");
  EXPECT_EQ(LoadResString(9013), " ");
  EXPECT_EQ(LoadResString(1), "");
}

TEST_F(PumpTest, TheStatusBarSitsAtTheBottomWithTheProgressInHalfTheWidth) {
  PumpHost host(TheApi());
  host.show();
  host.Attach(&host);
  auto* bar = vlrtest::Child<QStatusBar>(&host, "pumpStatusBar");
  auto* progress = vlrtest::Child<QProgressBar>(&host, "pumpProgress");
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 6);
  EXPECT_EQ(progress->value(), 0);
  EXPECT_EQ(progress->width(), host.width() / 2 - 8);
  host.resize(600, 160);
  QApplication::processEvents();
  EXPECT_EQ(progress->width(), 600 / 2 - 8);
  EXPECT_EQ(host.layout()->itemAt(host.layout()->count() - 1)->widget(), bar);
}

TEST_F(PumpTest, AnOwnerThatIsNotDoneKeepsTheOperationAfterStageFive) {
  PumpHost host(TheApi());
  host.done = false;
  host.show();
  host.Attach(&host);
  host.SetOp(Login());
  host.PostRun(0);
  vlrtest::WhenTrue([&] { return host.Stage() == 5 && host.asked > 0; },
                    [&] { host.reject(); });
  host.exec();
  ASSERT_NE(host.Op(), nullptr);
  EXPECT_EQ(host.Op()->ResultCode(), S_OK);
  EXPECT_EQ(static_cast<OpLogin*>(host.Op())->Credentials().accountId, "1001");
  EXPECT_EQ(host.stages.back(), 5);
}

TEST_F(PumpTest, AWaitingStageGivesTheEventLoopBack) {
  sim_->InjectDelay(500);
  PumpHost host(TheApi());
  host.CloseAtEnd();
  host.show();
  host.Attach(&host);
  host.SetOp(Login());
  host.PostRun(0);
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(5);
  EXPECT_EQ(host.exec(), QDialog::Accepted);
  int stageThree = 0;
  for (int s : host.stages) stageThree += s == 3;
  EXPECT_GT(stageThree, 1);
  EXPECT_GT(ticks, 0);
}

}  // namespace
