#pragma once
// Dialog 10003, "Attestra Login": asks for the e-mail address and password and logs in from the
// dialog, stage by stage, through the pump. It stays open after a failed attempt; the same
// OpLogin serves every attempt.
#include <QDialog>

#include <memory>

#include "foundation/credentials.h"
#include "transport/pumpop.h"

namespace Ui {
class Dlg10003;
}

class CDlgLogin : public QDialog, public CPumpOp {
 public:
  CDlgLogin(CWebSvrAPI* api, QWidget* parent = nullptr);
  ~CDlgLogin() override;

  // The record the fields show; after a successful login it also holds the ids.
  void SetCredentials(const CCredentials& credentials);
  const CCredentials& Credentials() const { return credentials_; }
  // "Remember my credentials" (control 1002) as it was at the last OK.
  bool Remember() const { return remember_; }

  bool IsOpDone(CWebSvrOp& op) override;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnOK();

  std::unique_ptr<Ui::Dlg10003> ui_;
  CCredentials credentials_;
  bool remember_ = false;
  bool opened_ = false;
};
