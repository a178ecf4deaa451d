#pragma once
// The pump: drives the operation a user waits for, one stage per turn of the event loop, from a
// dialog. The dialog gets a status bar with a progress bar (range 0 to 6) and the stage's text.
//
// Each stage arrives as a posted WMU_RUN_OP (wParam: the stage), which the owner forwards to
// OnRunOp; the pump shows the stage and runs it from a 25 ms one-shot timer, and the stage
// posts the next one. A failed stage shows CDlgError with the operation's fault string (or the
// owner's fallback text) and leaves the owner open in the failed state: the next run then shows
// "Operation Failed!" for every stage and, reaching stage 5, only restores the normal state.
#include <QProgressBar>
#include <QString>

#include <memory>

#include "transport/qtmsgwindow.h"

class CWebSvrAPI;
class CWebSvrOp;
class QLabel;
class QStatusBar;
class QTimer;
class QWidget;

// A progress bar that lives in a status bar pane and keeps the pane's width: half the owner's
// width less 8 pixels.
class CStatusProgress : public QProgressBar {
 public:
  explicit CStatusProgress(QWidget* owner);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit();
  QWidget* owner_;
};

class CPumpOp {
 public:
  explicit CPumpOp(CWebSvrAPI* api);
  virtual ~CPumpOp();
  CPumpOp(const CPumpOp&) = delete;
  CPumpOp& operator=(const CPumpOp&) = delete;

  // The owner has taken the operation's result and wants the run to end.
  virtual bool IsOpDone(CWebSvrOp& op) = 0;

  // Puts the status bar at the bottom of the owner: pane 0 the progress bar, pane 1 the text.
  void Attach(QWidget* owner);
  // Makes `op` the current operation (the previous one is deleted).
  void SetOp(std::unique_ptr<CWebSvrOp> op);
  CWebSvrOp* Op() const { return op_.get(); }
  // Posts WMU_RUN_OP with `stage` to the owner.
  void PostRun(int stage);

  // The owner forwards WMU_RUN_OP here. True when the event was WMU_RUN_OP.
  bool HandleRunMessage(const QEvent* event);
  void OnRunOp(int stage);

  int Stage() const { return stage_; }
  bool IsNormal() const { return normal_; }
  QString StatusText() const { return statusText_; }
  int ProgressValue() const;
  CWebSvrAPI* Api() const { return api_; }

 protected:
  // The text shown when a failed operation has no fault string of its own.
  int fallbackErrorId_ = 0;
  // The owner is a dialog that ends with OK when its operation completes.
  bool closeAtEnd_ = false;

 private:
  void OnTimer();
  void ShowStatus(const QString& text);

  int stage_ = -1;
  std::unique_ptr<QTimer> timer_;
  CWebSvrAPI* api_;
  QStatusBar* statusBar_ = nullptr;
  CStatusProgress* progress_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  bool attached_ = false;
  bool normal_ = true;
  QString statusText_;
  std::unique_ptr<CWebSvrOp> op_;
  QWidget* owner_ = nullptr;
  std::unique_ptr<CQtMsgWindow> window_;
};
