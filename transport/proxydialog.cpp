#include "transport/proxydialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

bool HasUserInterface() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace

CDlgProxyAuth::CDlgProxyAuth(QWidget* parent, const QString& server) : QDialog(parent) {
  setWindowTitle("Proxy Authentication");
  setObjectName("proxyAuth");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString("The proxy on the way to %1 asks for a user name and password.").arg(server), this));
  auto* form = new QFormLayout;
  user_ = new QLineEdit(this);
  user_->setObjectName("proxyUser");
  password_ = new QLineEdit(this);
  password_->setObjectName("proxyPassword");
  password_->setEchoMode(QLineEdit::Password);
  form->addRow("User name:", user_);
  form->addRow("Password:", password_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString CDlgProxyAuth::User() const { return user_->text(); }
QString CDlgProxyAuth::Password() const { return password_->text(); }

bool CDialogPrompts::AskProxyCredentials(const std::string& server, std::string& user, std::string& password) {
  if (!HasUserInterface()) return CTransportPrompts::AskProxyCredentials(server, user, password);
  CDlgProxyAuth dialog(QApplication::activeWindow(), QString::fromStdString(server));
  if (dialog.exec() != QDialog::Accepted || dialog.User().isEmpty()) return false;
  user = dialog.User().toStdString();
  password = dialog.Password().toStdString();
  return true;
}

void CDialogPrompts::ShowConnectionError(const std::string& text) {
  if (!HasUserInterface()) return CTransportPrompts::ShowConnectionError(text);
  QMessageBox::critical(QApplication::activeWindow(), "Attestra", QString::fromStdString(text));
}

void InstallDialogPrompts() {
  static CDialogPrompts prompts;
  if (!HasInstalledTransportPrompts()) SetTransportPrompts(&prompts);
}
