#pragma once

#include <QMessageBox>
#include <string>

#include "platform/message_box.h"

class QWidget;

namespace tablora {

// A modal QMessageBox with one OK button over the given parent window.
class QtMessageBox : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}

  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;

  static QMessageBox::Icon IconFor(MessageIcon icon);

 private:
  QWidget* parent_;
};

}  // namespace tablora
