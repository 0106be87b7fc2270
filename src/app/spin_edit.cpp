#include "app/spin_edit.h"

#include <QLineEdit>
#include <QLocale>
#include <algorithm>

namespace tablora {

TSpinEdit::TSpinEdit(int minValue, int maxValue, int value, QWidget* parent)
    : QAbstractSpinBox(parent), minValue_(minValue), maxValue_(maxValue) {
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
  SetValue(value);
  connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::TextChanged);
}

int TSpinEdit::Value() const {
  bool ok = false;
  const int value = lineEdit()->text().trimmed().toInt(&ok, 10);
  return ok ? value : minValue_;
}

void TSpinEdit::SetValue(int value) { SetText(QString::number(value)); }

void TSpinEdit::SetText(const QString& text) { lineEdit()->setText(text); }

void TSpinEdit::stepBy(int steps) {
  const int value = std::clamp(Value() + steps, minValue_, maxValue_);
  SetValue(value);
  lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (Value() < maxValue_) enabled |= StepUpEnabled;
  if (Value() > minValue_) enabled |= StepDownEnabled;
  return enabled;
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
  const QChar decimal = locale().decimalPoint().at(0);
  for (const QChar c : input) {
    if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && c != decimal) {
      return QValidator::Invalid;
    }
  }
  // Anything made of those characters may stand in the field; its value is read by the rule.
  return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString&) const {}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  const int value = Value();
  const int clamped = std::clamp(value, minValue_, maxValue_);
  bool integer = false;
  lineEdit()->text().trimmed().toInt(&integer, 10);
  if (clamped != value || !integer) SetValue(clamped);
  QAbstractSpinBox::focusOutEvent(event);
}

}  // namespace tablora
