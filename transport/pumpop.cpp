#include "transport/pumpop.h"

#include <QBoxLayout>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "foundation/diaglog.h"
#include "transport/dlgerror.h"
#include "transport/proxydialog.h"
#include "transport/stringtable.h"
#include "transport/webop.h"

namespace {

constexpr int kTimerMs = 25;
constexpr int kStages = 6;

}  // namespace

CStatusProgress::CStatusProgress(QWidget* owner) : owner_(owner) {
  setTextVisible(false);
  if (owner_) owner_->installEventFilter(this);
  Fit();
}

bool CStatusProgress::eventFilter(QObject* watched, QEvent* event) {
  if (watched == owner_ && event->type() == QEvent::Resize) Fit();
  return QProgressBar::eventFilter(watched, event);
}

void CStatusProgress::Fit() {
  if (owner_) setFixedWidth(std::max(owner_->width() / 2 - 8, 16));
}

CPumpOp::CPumpOp(CWebSvrAPI* api) : api_(api) {
  // Wherever an operation is pumped, a 407 may ask its question in a dialog.
  InstallDialogPrompts();
}

CPumpOp::~CPumpOp() {
  if (timer_) timer_->stop();
}

void CPumpOp::Attach(QWidget* owner) {
  owner_ = owner;
  window_ = std::make_unique<CQtMsgWindow>(owner);
  timer_ = std::make_unique<QTimer>();
  timer_->setSingleShot(true);
  QObject::connect(timer_.get(), &QTimer::timeout, owner, [this] { OnTimer(); });

  statusBar_ = new QStatusBar(owner);
  statusBar_->setObjectName("pumpStatusBar");
  statusBar_->setSizeGripEnabled(true);
  progress_ = new CStatusProgress(owner);
  progress_->setObjectName("pumpProgress");
  progress_->setRange(0, kStages);
  progress_->setValue(0);
  progress_->setToolTip(LoadResString(ids::kStatusPane0));
  statusLabel_ = new QLabel(LoadResString(ids::kStatusPane1), statusBar_);
  statusLabel_->setObjectName("pumpStatusText");
  statusBar_->addWidget(progress_);
  statusBar_->addWidget(statusLabel_, 1);
  if (auto* box = qobject_cast<QBoxLayout*>(owner->layout())) {
    box->addWidget(statusBar_);
  } else if (auto* grid = qobject_cast<QGridLayout*>(owner->layout())) {
    grid->addWidget(statusBar_, grid->rowCount(), 0, 1, grid->columnCount());
  } else {
    const int height = statusBar_->sizeHint().height();
    owner->resize(owner->width(), owner->height() + height);
    statusBar_->setGeometry(0, owner->height() - height, owner->width(), height);
  }
  statusBar_->show();
  attached_ = true;
}

void CPumpOp::SetOp(std::unique_ptr<CWebSvrOp> op) {
  if (timer_) timer_->stop();
  op_ = std::move(op);
}

void CPumpOp::PostRun(int stage) { PostWinMessage(owner_, WMU_RUN_OP, stage, 0); }

int CPumpOp::ProgressValue() const { return progress_ ? progress_->value() : 0; }

void CPumpOp::ShowStatus(const QString& text) {
  statusText_ = text;
  if (statusLabel_) statusLabel_->setText(text);
}

bool CPumpOp::HandleRunMessage(const QEvent* event) {
  const CWinMsgEvent* message = CWinMsgEvent::From(event);
  if (!message || message->message != WMU_RUN_OP) return false;
  OnRunOp(static_cast<int>(message->wParam));
  return true;
}

void CPumpOp::OnRunOp(int stage) {
  stage_ = stage;
  if (!op_) return;
  if (stage >= 0 && stage <= 5) {
    ShowStatus(normal_ ? QString::fromUtf8(op_->ProgressText(stage)) : LoadResString(ids::kOperationFailed));
    if (progress_) progress_->setValue(stage + 1);
  }
  if (!(stage == 5 && IsOpDone(*op_))) {
    if (timer_) timer_->start(kTimerMs);
    return;
  }
  op_->CloseRequest();
  auto* dialog = qobject_cast<QDialog*>(owner_);
  if (normal_ && closeAtEnd_ && dialog) {
    dialog->accept();
  } else {
    normal_ = true;
  }
}

void CPumpOp::OnTimer() {
  if (timer_) timer_->stop();
  if (!op_) return;
  if (op_->Run(window_.get(), WMU_RUN_OP, stage_)) return;

  DiagLog().Error("Op Step FAILED");
  normal_ = false;
  op_->CloseRequestFile();
  CDlgError error(owner_);
  const QString fault = QString::fromUtf8(op_->FaultString().c_str());
  error.SetDetail(fault.isEmpty() ? LoadResString(fallbackErrorId_) : fault);
  error.exec();
  ShowStatus(QString());
  stage_ = -1;
  if (progress_) progress_->setValue(0);
  op_->CloseRequest();
}
