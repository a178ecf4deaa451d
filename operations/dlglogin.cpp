#include "operations/dlglogin.h"

#include <QGuiApplication>
#include <QPushButton>

#include "operations/oplogin.h"
#include "transport/stringtable.h"
#include "transport/webapi.h"
#include "ui_dlg10003.h"

CDlgLogin::CDlgLogin(CWebSvrAPI* api, QWidget* parent)
    : QDialog(parent), CPumpOp(api), ui_(std::make_unique<Ui::Dlg10003>()) {
  ui_->setupUi(this);
  fallbackErrorId_ = ids::kCredentialsRejected;
  closeAtEnd_ = true;
  connect(ui_->id1, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(ui_->id2, &QPushButton::clicked, this, &QDialog::reject);
}

CDlgLogin::~CDlgLogin() = default;

void CDlgLogin::SetCredentials(const CCredentials& credentials) {
  credentials_ = credentials;
  ui_->id1000->setText(QString::fromStdString(credentials_.email));
  ui_->id1001->setText(QString::fromStdString(credentials_.password));
}

bool CDlgLogin::event(QEvent* event) {
  if (HandleRunMessage(event)) return true;
  return QDialog::event(event);
}

void CDlgLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (opened_) return;
  opened_ = true;
  ui_->id10026->hide();
  raise();
  activateWindow();
  Attach(this);
}

void CDlgLogin::OnOK() {
  // One attempt at a time: a second OK while the stages run would drive the same operation twice.
  if (Stage() >= 0 && Stage() < 5) return;
  credentials_.email = ui_->id1000->text().toStdString();
  credentials_.password = ui_->id1001->text().toStdString();
  remember_ = ui_->id1002->isChecked();
  if (!Op()) SetOp(std::make_unique<OpLogin>(Api() ? Api()->Endpoint() : std::string()));
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  static_cast<OpLogin*>(Op())->Credentials() = credentials_;
  PostRun(0);
  QGuiApplication::restoreOverrideCursor();
}

bool CDlgLogin::IsOpDone(CWebSvrOp& op) {
  if (op.ResultCode() == S_OK) credentials_ = static_cast<OpLogin&>(op).Credentials();
  return true;
}
