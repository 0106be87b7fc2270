#include "app/t_processing.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QShowEvent>

#include "app/window_type.h"

namespace tablora {

namespace {
constexpr int kWidth = 251;
}  // namespace

T_Processing::T_Processing(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Working..."));
  // A title and a close box only: no minimise or maximise (the fixed size rules out maximising
  // even where a window manager keeps its buttons).
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint);
  setModal(false);
  // Wide enough for the title bar to show the whole title beside the program's name.
  setFixedSize(kWidth, 57);
  QFont tahoma("Tahoma");
  tahoma.setPixelSize(11);
  setFont(tahoma);

  // The engine's first status, in its words.
  Label1 = new QLabel(QCoreApplication::translate("TContactSheet", "Building File List"), this);
  Label1->setGeometry(0, 0, kWidth - 2, 25);
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setWordWrap(false);

  Gauge = new TGauge(this);
  Gauge->setGeometry(8, 16, kWidth - 18, 12);
  Gauge->SetBackColor(palette().color(QPalette::Base));
  Gauge->SetForeColor(palette().color(QPalette::Highlight));
  Gauge->hide();

  Button1 = new QPushButton(tr("Cancel"), this);
  Button1->setGeometry((kWidth - 65) / 2, 32, 65, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &T_Processing::Button1Click);
}

void T_Processing::Show() {
  if (isVisible()) return;
  if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
  show();
}

void T_Processing::Close() { close(); }

void T_Processing::Button1Click() { Close(); }

// Escape is the system's close key for a dialog: it must clear Working like any other close.
void T_Processing::reject() { Close(); }

void T_Processing::ShowStatus(const std::string& text) {
  // The engine separates status lines with LF CR; the label breaks lines at LF alone.
  QString caption = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  caption.remove(QLatin1Char('\r'));
  // A long folder path keeps both its ends, the folder's own name most of all.
  QStringList lines = caption.split(QLatin1Char('\n'));
  for (QString& line : lines) line = Label1->fontMetrics().elidedText(line, Qt::ElideMiddle, Label1->width() - 8);
  Label1->setText(lines.join(QLatin1Char('\n')));
}

void T_Processing::ShowProgress(int percent) {
  if (Gauge->isHidden()) Gauge->show();
  Gauge->SetProgress(percent);
}

void T_Processing::HideProgress() {
  Gauge->SetProgress(0);
  Gauge->hide();
}

void T_Processing::BringToFront() { raise(); }

void T_Processing::Repaint() { repaint(); }

void T_Processing::showEvent(QShowEvent* event) {
  // Before every mapping: the window manager reads the window's type when it maps the window.
  // Openbox gives a toolbar no focus when it appears, as it does a dialog; asked for it, the
  // window takes Escape and Enter for Cancel as before.
  if (!event->spontaneous() && KeepMinimiseAndMaximiseOff(*this)) activateWindow();
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void T_Processing::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void T_Processing::FormShow() { working_ = true; }

void T_Processing::FormClose() { working_ = false; }

}  // namespace tablora
