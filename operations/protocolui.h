#pragma once
// The protocol object where the user may be asked: its login uses the remembered credentials
// when they still work and otherwise shows the login dialog (pre-filled, for a first login,
// with the mail profile user's SMTP address).

#include "operations/protocol.h"

class QWidget;

class CProtocolUI : public CProtocol {
 public:
  explicit CProtocolUI(void* owner = nullptr);

  // 0 with the record filled, 1223 when the user cancels (the record's e-mail, password and
  // account id are then empty), or the connection's failure code.
  HRESULT Login(CCredentials& record, long flag = 0) override;

  // The login dialog's parent; none: the active window.
  void SetParentWindow(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_ = nullptr;
};
