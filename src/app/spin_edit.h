#pragma once

#include <QAbstractSpinBox>

namespace tablora {

// Integer field with up and down buttons. Typing is limited to digits, signs and the decimal
// separator; the value is the integer written, or the minimum when the text is not one. The field
// is held to its limits only when it loses the focus, so a number typed and confirmed with Enter
// is read as typed.
class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  TSpinEdit(int minValue, int maxValue, int value, QWidget* parent = nullptr);

  int Value() const;
  void SetValue(int value);
  // The text as typed, not yet read by the value rule.
  void SetText(const QString& text);
  int MinValue() const { return minValue_; }
  int MaxValue() const { return maxValue_; }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 signals:
  // The text changed, typed or set; the value may not yet be held to the limits.
  void TextChanged();

 protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int minValue_;
  int maxValue_;
};

}  // namespace tablora
