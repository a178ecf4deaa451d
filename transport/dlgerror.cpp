#include "transport/dlgerror.h"

#include <QPushButton>
#include <QStyle>

#include "ui_dlg10002.h"

CDlgError::CDlgError(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::Dlg10002>()) {
  ui_->setupUi(this);
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  ui_->errorIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(size, size));
  connect(ui_->id1, &QPushButton::clicked, this, &QDialog::accept);
}

CDlgError::~CDlgError() = default;

void CDlgError::SetDetail(const QString& text) { ui_->id1000->setPlainText(text); }

QString CDlgError::Detail() const { return ui_->id1000->toPlainText(); }
