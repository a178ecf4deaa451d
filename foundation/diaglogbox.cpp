#include "foundation/diaglogbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "foundation/diaglog.h"

namespace {

void ShowBox(const std::string& text) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  QMessageBox::information(nullptr, QStringLiteral("Vellora"), QString::fromStdString(text), QMessageBox::Ok);
}

}  // namespace

void InstallDiagLogMessageBox() { SetDiagLogMessageBoxHandler(&ShowBox); }
