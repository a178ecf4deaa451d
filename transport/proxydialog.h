#pragma once
// The question after a 407: the proxy's user name and password, in a small dialog. Installed
// as the transport's prompts wherever operations are pumped from dialogs; without a
// QApplication it falls back to the environment (VLR_PROXY_USER, VLR_PROXY_PASSWORD).
#include <QDialog>

#include "transport/userprompts.h"

class QLineEdit;

class CDlgProxyAuth : public QDialog {
 public:
  CDlgProxyAuth(QWidget* parent, const QString& server);
  QString User() const;
  QString Password() const;

 private:
  QLineEdit* user_;
  QLineEdit* password_;
};

class CDialogPrompts : public CTransportPrompts {
 public:
  bool AskProxyCredentials(const std::string& server, std::string& user, std::string& password) override;
  void ShowConnectionError(const std::string& text) override;
};

// Installs the dialogs as the transport's prompts, unless other prompts are installed.
void InstallDialogPrompts();
