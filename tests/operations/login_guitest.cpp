// The login dialog and the interactive login on the offscreen platform, against the real
// attestra-sim.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "operations/dlglogin.h"
#include "operations/protocolui.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "tests/transport/guitest.h"
#include "transport/dlgerror.h"
#include "transport/proxydialog.h"
#include "transport/qtmsgwindow.h"
#include "transport/servicenames.h"
#include "transport/stringtable.h"
#include "transport/userprompts.h"
#include "transport/webapi.h"

namespace {

const vlrtest::SimAccount kAnn{"ann@example.com", "secret", "1001", "Acme Legal", "u-ann"};
const QString kRejected =
    "Your user credentials were rejected by Attestra.  Please check these values to ensure they are correct.";

// The login dialog, noting the status pane and the progress bar after every stage it shows.
class WatchedLogin : public CDlgLogin {
 public:
  using CDlgLogin::CDlgLogin;
  struct Shown {
    QString text;
    int progress;
  };
  std::vector<Shown> shown;

 protected:
  bool event(QEvent* e) override {
    const bool isRun = CWinMsgEvent::From(e) != nullptr;
    const bool handled = CDlgLogin::event(e);
    if (isRun) shown.push_back({StatusText(), ProgressValue()});
    return handled;
  }
};

// The texts shown, each once (a stage that waits for the network shows its text again).
std::vector<QString> Texts(const std::vector<WatchedLogin::Shown>& shown) {
  std::vector<QString> texts;
  for (const auto& s : shown)
    if (texts.empty() || texts.back() != s.text) texts.push_back(s.text);
  return texts;
}

void Type(QWidget* dialog, const char* field, const QString& text) {
  if (auto* edit = vlrtest::Child<QLineEdit>(dialog, field)) edit->setText(text);
}

void Click(QWidget* dialog, const char* button) {
  if (auto* b = vlrtest::Child<QAbstractButton>(dialog, button)) b->click();
}

class LoginDialogTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    SetTransportPrompts(nullptr);
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", 0L);
    SetTheProtocol(std::make_unique<CProtocolUI>());
  }
  void TearDown() override {
    SetTheProtocol(nullptr);
    SetTransportPrompts(nullptr);
  }

  void ConnectCredential() { ASSERT_EQ(TheProtocol()->Connect(sim_->CredentialUrl()), S_OK); }

  static CCredentials Record(std::string email, std::string password) {
    CCredentials c;
    c.email = std::move(email);
    c.password = std::move(password);
    return c;
  }

  std::unique_ptr<vlrtest::SimProcess> sim_;
};

TEST_F(LoginDialogTest, ASuccessfulLoginShowsTheSixStagesAndCloses) {
  ConnectCredential();
  WatchedLogin dialog(TheApi());
  EXPECT_EQ(dialog.windowTitle(), "Attestra Login");
  dialog.SetCredentials(Record("ann@example.com", "secret"));
  vlrtest::WhenModal<WatchedLogin>([](WatchedLogin* d) {
    EXPECT_TRUE(vlrtest::Child<QWidget>(d, "id10026")->isHidden());
    Click(d, "id1");
  });
  ASSERT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(Texts(dialog.shown), (std::vector<QString>{"Preparing Data", "Connecting to Attestra", "Requesting Login",
                                                        "Receiving Response", "Confirming Result", "User Logged In"}));
  std::vector<int> progress;
  for (const auto& s : dialog.shown)
    if (progress.empty() || progress.back() != s.progress) progress.push_back(s.progress);
  EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(dialog.Credentials().accountId, "1001");
  EXPECT_EQ(dialog.Credentials().userId, "u-ann");
}

TEST_F(LoginDialogTest, AFailedStatusShowsTheFallbackTextAndLeavesTheDialogOpen) {
  ConnectCredential();
  sim_->InjectStatus(404);
  WatchedLogin dialog(TheApi());
  dialog.SetCredentials(Record("ann@example.com", "secret"));
  QString detail;
  vlrtest::WhenModal<WatchedLogin>([](WatchedLogin* d) { Click(d, "id1"); });
  vlrtest::WhenModal<CDlgError>([&](CDlgError* e) {
    EXPECT_EQ(e->windowTitle(), "Attestra Error");
    EXPECT_EQ(vlrtest::Child<QLabel>(e, "id10048")->text(),
              "The current Attestra operation could not be performed successfully.");
    EXPECT_TRUE(vlrtest::Child<QPlainTextEdit>(e, "id1000")->isReadOnly());
    detail = e->Detail();
    Click(e, "id1");
    vlrtest::WhenTrue([&] { return QApplication::activeModalWidget() == &dialog && dialog.Stage() == -1; },
                      [&] {
                        EXPECT_EQ(dialog.ProgressValue(), 0);
                        EXPECT_EQ(dialog.StatusText(), "");
                        EXPECT_TRUE(dialog.isVisible());
                        EXPECT_FALSE(dialog.IsNormal());
                        dialog.reject();
                      });
  });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  EXPECT_EQ(detail, kRejected);
  EXPECT_EQ(dialog.Credentials().accountId, "");
}

TEST_F(LoginDialogTest, AfterAFailedAttemptTheNextRunShowsOperationFailedAndStaysOpen) {
  ConnectCredential();
  WatchedLogin dialog(TheApi());
  dialog.SetCredentials(Record("ann@example.com", ""));
  QString detail;
  size_t secondRunStart = 0;
  vlrtest::WhenModal<WatchedLogin>([](WatchedLogin* d) { Click(d, "id1"); });
  vlrtest::WhenModal<CDlgError>([&](CDlgError* e) {
    detail = e->Detail();
    e->accept();
    vlrtest::WhenTrue([&] { return QApplication::activeModalWidget() == &dialog && dialog.Stage() == -1; },
                      [&] {
                        secondRunStart = dialog.shown.size();
                        Type(&dialog, "id1001", "secret");
                        Click(&dialog, "id1");
                        vlrtest::WhenTrue([&] { return dialog.Stage() == 5; },
                                          [&] {
                                            EXPECT_TRUE(dialog.isVisible());
                                            EXPECT_TRUE(dialog.IsNormal());
                                            EXPECT_EQ(dialog.Credentials().accountId, "1001");
                                            Click(&dialog, "id1");  // once more: now it closes
                                          });
                      });
  });
  ASSERT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(detail, kRejected);
  ASSERT_GT(dialog.shown.size(), secondRunStart);
  const std::vector<WatchedLogin::Shown> second(dialog.shown.begin() + static_cast<long>(secondRunStart),
                                                dialog.shown.end());
  for (const auto& s : std::vector<WatchedLogin::Shown>(second.begin(), second.begin() + 6))
    EXPECT_EQ(s.text, "Operation Failed!");
  EXPECT_EQ(dialog.shown.back().text, "User Logged In");  // the third run, in the normal state
}

TEST_F(LoginDialogTest, StoredCredentialsThatWorkShowNoDialog) {
  CConfig().SetCredentials(Record("ann@example.com", "secret"));
  // A watcher that closes any dialog that shows up, until the login has returned.
  auto done = std::make_shared<bool>(false);
  auto shown = std::make_shared<bool>(false);
  vlrtest::WhenTrue([done] { return *done || QApplication::activeModalWidget() != nullptr; },
                    [done, shown] {
                      if (*done) return;
                      *shown = true;
                      qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject();
                    });
  CCredentials record;
  EXPECT_EQ(TheProtocol()->Login(record), S_OK);
  *done = true;
  EXPECT_FALSE(*shown);
  EXPECT_EQ(record.email, "ann@example.com");
  EXPECT_EQ(record.accountId, "1001");
  EXPECT_EQ(record.accountName, "Acme Legal");
}

TEST_F(LoginDialogTest, RejectedStoredCredentialsFillTheDialogAndCancelGives1223) {
  CConfig().SetCredentials(Record("ann@example.com", "outdated"));
  QString email, password;
  bool remember = true;
  vlrtest::WhenModal<CDlgLogin>([&](CDlgLogin* d) {
    email = vlrtest::Child<QLineEdit>(d, "id1000")->text();
    password = vlrtest::Child<QLineEdit>(d, "id1001")->text();
    remember = vlrtest::Child<QCheckBox>(d, "id1002")->isChecked();
    EXPECT_EQ(vlrtest::Child<QLineEdit>(d, "id1001")->echoMode(), QLineEdit::Password);
    Click(d, "id2");
  });
  CCredentials record = Record("caller@example.com", "caller");
  record.accountId = "old";
  EXPECT_EQ(TheProtocol()->Login(record), 1223);
  EXPECT_EQ(email, "ann@example.com");
  EXPECT_EQ(password, "outdated");
  EXPECT_FALSE(remember);
  EXPECT_EQ(record.email, "");
  EXPECT_EQ(record.password, "");
  EXPECT_EQ(record.accountId, "");
}

TEST_F(LoginDialogTest, AFirstLoginStartsFromTheProfileAddressAndCanBeRemembered) {
  // The mail profile's user is an Exchange user whose SMTP address is Ann's.
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    dir.EnableExchange("Vellora");
    dir.SetCurrentUser(dir.AddUser({0, "Ann Archer", "aarcher", "", 0, "", "", {"SMTP:ann@example.com"}}).id);
  }
  vlrtest::WhenModal<CDlgLogin>([](CDlgLogin* d) {
    EXPECT_EQ(vlrtest::Child<QLineEdit>(d, "id1000")->text(), "ann@example.com");
    EXPECT_EQ(vlrtest::Child<QLineEdit>(d, "id1001")->text(), "");
    Type(d, "id1001", "secret");
    vlrtest::Child<QCheckBox>(d, "id1002")->setChecked(true);
    Click(d, "id1");
  });
  CCredentials record;
  ASSERT_EQ(TheProtocol()->Login(record), S_OK);
  EXPECT_EQ(record.accountId, "1001");
  CCredentials stored;
  ASSERT_EQ(CConfig().GetCredentials(stored), S_OK);
  EXPECT_EQ(stored.email, "ann@example.com");
  EXPECT_EQ(stored.password, "secret");
}

TEST_F(LoginDialogTest, AWrongPasswordThenTheRightOneLogsIn) {
  QString detail;
  vlrtest::WhenModal<CDlgLogin>([](CDlgLogin* d) {
    EXPECT_EQ(vlrtest::Child<QLineEdit>(d, "id1000")->text(), "");  // no mail profile to ask
    Type(d, "id1000", "ann@example.com");
    Type(d, "id1001", "wrong");
    Click(d, "id1");
  });
  vlrtest::WhenModal<CDlgError>([&](CDlgError* e) {
    detail = e->Detail();
    e->accept();
    vlrtest::WhenTrue(
        [] {
          auto* d = dynamic_cast<CDlgLogin*>(QApplication::activeModalWidget());
          return d && d->Stage() == -1;
        },
        [] {
          auto* d = dynamic_cast<CDlgLogin*>(QApplication::activeModalWidget());
          Type(d, "id1001", "secret");
          Click(d, "id1");
        });
  });
  CCredentials record;
  ASSERT_EQ(TheProtocol()->Login(record), S_OK);
  EXPECT_EQ(detail, kRejected);
  EXPECT_EQ(record.accountId, "1001");
  CCredentials stored;
  EXPECT_NE(CConfig().GetCredentials(stored), S_OK);  // not asked to remember
}

TEST_F(LoginDialogTest, AProxyChallengeAsksInADialogAndSendsAgain) {
  sim_->InjectStatus(407);
  vlrtest::WhenModal<CDlgLogin>([](CDlgLogin* d) {
    Type(d, "id1000", "ann@example.com");
    Type(d, "id1001", "secret");
    Click(d, "id1");
  });
  bool asked = false;
  vlrtest::WhenModal<CDlgProxyAuth>([&](CDlgProxyAuth* p) {
    asked = true;
    Type(p, "proxyUser", "proxyuser");
    Type(p, "proxyPassword", "proxy pass");
    p->accept();
  });
  CCredentials record;
  ASSERT_EQ(TheProtocol()->Login(record), S_OK);
  EXPECT_TRUE(asked);
  EXPECT_EQ(record.accountId, "1001");
}

}  // namespace
