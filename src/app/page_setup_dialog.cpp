#include "app/page_setup_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tablora {

namespace {

// The papers photographers print contact sheets on; the one in use is added when it is another.
constexpr QPageSize::PageSizeId kPapers[] = {QPageSize::A3,     QPageSize::A4,      QPageSize::A5,
                                             QPageSize::B5,     QPageSize::Letter,  QPageSize::Legal,
                                             QPageSize::Tabloid, QPageSize::Ledger};
constexpr double kMaxMarginMm = 100;

}  // namespace

PageSetupDialog::PageSetupDialog(const QPageLayout& layout, QWidget* parent)
    : QDialog(parent), layout_(layout) {
  setWindowTitle(tr("Page Setup"));
  auto* form = new QFormLayout;
  PaperBox = new QComboBox(this);
  PaperBox->setObjectName("PaperBox");
  const QPageSize current = layout.pageSize();
  for (QPageSize::PageSizeId id : kPapers) PaperBox->addItem(QPageSize::name(id), QVariant::fromValue(static_cast<int>(id)));
  int index = PaperBox->findData(static_cast<int>(current.id()));
  if (index < 0) {
    PaperBox->addItem(current.name(), QVariant::fromValue(static_cast<int>(current.id())));
    index = PaperBox->count() - 1;
  }
  PaperBox->setCurrentIndex(index);
  form->addRow(tr("&Paper:"), PaperBox);

  PortraitButton = new QRadioButton(tr("P&ortrait"), this);
  LandscapeButton = new QRadioButton(tr("&Landscape"), this);
  (layout.orientation() == QPageLayout::Landscape ? LandscapeButton : PortraitButton)->setChecked(true);
  auto* orientation = new QHBoxLayout;
  orientation->addWidget(PortraitButton);
  orientation->addWidget(LandscapeButton);
  orientation->addStretch(1);
  form->addRow(tr("Orientation:"), orientation);

  const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
  const auto marginBox = [this](double value) {
    auto* box = new QDoubleSpinBox(this);
    box->setRange(0, kMaxMarginMm);
    box->setDecimals(1);
    box->setSuffix(tr(" mm"));
    box->setValue(value);
    return box;
  };
  LeftBox = marginBox(margins.left());
  TopBox = marginBox(margins.top());
  RightBox = marginBox(margins.right());
  BottomBox = marginBox(margins.bottom());
  form->addRow(tr("&Top margin:"), TopBox);
  form->addRow(tr("&Bottom margin:"), BottomBox);
  form->addRow(tr("Le&ft margin:"), LeftBox);
  form->addRow(tr("&Right margin:"), RightBox);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(form);
  outer->addWidget(buttons);
}

QPageLayout PageSetupDialog::Layout() const {
  QPageLayout layout = layout_;
  const auto id = static_cast<QPageSize::PageSizeId>(PaperBox->currentData().toInt());
  if (id != layout.pageSize().id()) layout.setPageSize(QPageSize(id));
  layout.setOrientation(LandscapeButton->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
  layout.setUnits(QPageLayout::Millimeter);
  // Margins the printer cannot print are moved in to what it can, rather than refused.
  layout.setMinimumMargins(QMarginsF());
  layout.setMargins(QMarginsF(LeftBox->value(), TopBox->value(), RightBox->value(), BottomBox->value()));
  return layout;
}

}  // namespace tablora
