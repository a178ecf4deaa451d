#pragma once
// Dialog 10002, "Attestra Error": shows why an operation failed.
#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class Dlg10002;
}

class CDlgError : public QDialog {
 public:
  explicit CDlgError(QWidget* owner);
  ~CDlgError() override;

  // The detail text, shown in the read-only field (control 1000).
  void SetDetail(const QString& text);
  QString Detail() const;

 private:
  std::unique_ptr<Ui::Dlg10002> ui_;
};
