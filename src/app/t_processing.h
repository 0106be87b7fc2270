#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "app/gauge.h"
#include "sheet/progress_window.h"

namespace tablora {

// The small modeless window every long operation shows: status text, a percentage bar while a
// page is drawn, and Cancel. Working is set when it is shown and cleared by every close.
class T_Processing : public QDialog, public ProgressWindow {
  Q_OBJECT

 public:
  explicit T_Processing(QWidget* parent = nullptr);

  void Show() override;
  void Close() override;
  void ShowStatus(const std::string& text) override;
  void ShowProgress(int percent) override;
  void HideProgress() override;
  void BringToFront() override;
  void Repaint() override;
  bool Working() const override { return working_; }

  QLabel* Label1;
  TGauge* Gauge;
  QPushButton* Button1;

 public slots:
  void Button1Click();
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormShow();
  void FormClose();

  bool working_ = false;
};

}  // namespace tablora
