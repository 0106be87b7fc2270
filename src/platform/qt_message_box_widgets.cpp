#include "platform/qt_message_box.h"

namespace tablora {

QMessageBox::Icon QtMessageBox::IconFor(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

void QtMessageBox::Show(const std::string& text, const std::string& caption, MessageIcon icon) {
  QMessageBox box(IconFor(icon), QString::fromUtf8(caption), QString::fromUtf8(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

}  // namespace tablora
