#include "app/sheet_export.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "platform/pending_outputs.h"
#include "platform/qt_printer_device.h"
#include "sheet/contact_sheet.h"
#include "sheet/folder_sheets.h"
#include "sheet/pdf_extras.h"

namespace tablora {

namespace {

QString Decoded(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string Encoded(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A folder of the built sheet as the user knows it: its whole path.
QString FolderShown(const std::string& root, const std::string& folder) {
  return Decoded(folder == "/" ? root : std::string(root).append(folder, 0, folder.size() - 1));
}

// One bar and one line for the whole run: each sheet's print reports into its share of the bar,
// and the window stays open from one sheet to the next; only the user closes it (Cancel).
class RunProgress : public ProgressWindow {
 public:
  explicit RunProgress(ProgressWindow& window) : window_(window) {}
  void Start(std::size_t index, std::size_t count, const std::string& stage) {
    index_ = index;
    count_ = std::max<std::size_t>(count, 1);
    stage_ = stage;
    window_.ShowStatus(stage_);
  }

  void Show() override { window_.Show(); }
  void Close() override {}
  void ShowStatus(const std::string& text) override { window_.ShowStatus(stage_.empty() ? text : stage_); }
  void ShowProgress(int percent) override {
    window_.ShowProgress(static_cast<int>((index_ * 100 + static_cast<std::size_t>(std::clamp(percent, 0, 100))) / count_));
  }
  void HideProgress() override {}
  void BringToFront() override { window_.BringToFront(); }
  void Repaint() override { window_.Repaint(); }
  bool Working() const override { return window_.Working(); }

 private:
  ProgressWindow& window_;
  std::size_t index_ = 0;
  std::size_t count_ = 1;
  std::string stage_;
};

// The window's fields, with a title of the run's choosing: the one the user typed on every sheet,
// else each folder's own name.
class TitledInputs : public SheetInputs {
 public:
  explicit TitledInputs(SheetInputs& inputs) : inputs_(inputs) {}
  int Rows() const override { return inputs_.Rows(); }
  int Columns() const override { return inputs_.Columns(); }
  std::string Title() const override { return title; }
  std::string FontName() const override { return inputs_.FontName(); }
  TFontStyle FontStyle() const override { return inputs_.FontStyle(); }
  std::string SelectedFolder() const override { return inputs_.SelectedFolder(); }
  std::string title;

 private:
  SheetInputs& inputs_;
};

class AllPages : public PrintDialog {
 public:
  PrintChoice Execute(int, int) override { return {true, prAllPages, 0, 0}; }
};

// The PDF printer of a sheet to stand as `target`; its temporary file is kept in `temporary`, for
// the bookmarks and links added once its pages are printed.
std::unique_ptr<PrinterDevice> PdfPrinter(const std::string& target, PendingOutputs& outputs, const QPrinter* layoutFrom,
                                          std::string& temporary) {
  temporary = outputs.Add(target);
  auto pdf = std::make_unique<QtPrinterDevice>(temporary);
  if (layoutFrom != nullptr) pdf->Printer()->setPageLayout(layoutFrom->pageLayout());
  return pdf;
}

// The window's PDF files: links to the pictures' files, the user as their author.
SheetPdfOptions WindowPdfOptions(const std::string& target, int first, int last) {
  SheetPdfOptions options;
  options.firstPage = first;
  options.lastPage = last;
  options.pdfPath = target;
  options.author = UserFullName();
  return options;
}

void ShowError(const ExportServices& services, const QString& text) {
  if (services.messages != nullptr) services.messages->Show(text.toStdString(), "Tablora", MessageIcon::Error);
}

}  // namespace

QString UsablePattern(const QString& pattern) {
  const QString trimmed = pattern.trimmed();
  const std::string text = trimmed.toStdString();
  if (trimmed.isEmpty() || trimmed.endsWith('/') || trimmed.startsWith('/') || UnknownNameField(text)) {
    return FolderExportChoices().pattern;
  }
  return trimmed.endsWith(".pdf", Qt::CaseInsensitive) ? trimmed : trimmed + ".pdf";
}

QString ManifestBeside(const QString& pdf) {
  const QFileInfo info(pdf);
  return info.dir().filePath(info.completeBaseName() + ".csv");
}

FolderExportDialog::FolderExportDialog(const FolderExportChoices& choices, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Print each folder to PDF"));
  FolderEdit = new QLineEdit(choices.folder, this);
  FolderEdit->setObjectName("FolderEdit");
  FolderEdit->setMinimumWidth(320);
  BrowseBtn = new QPushButton(tr("&Browse…"), this);
  connect(BrowseBtn, &QPushButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Folder for the sheets"), FolderEdit->text().isEmpty() ? QDir::homePath() : FolderEdit->text());
    if (!chosen.isEmpty()) FolderEdit->setText(chosen);
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(FolderEdit, 1);
  folderRow->addWidget(BrowseBtn);

  SplitBox = new QComboBox(this);
  SplitBox->addItem(tr("One per folder, of its own pictures"));
  SplitBox->addItem(tr("One per top folder, with everything below it"));
  SplitBox->setCurrentIndex(choices.tree ? 1 : 0);

  PatternEdit = new QLineEdit(choices.pattern, this);
  PatternEdit->setObjectName("PatternEdit");
  auto* fields = new QLabel(tr("{path}: the folder below the built one, its / making subfolders; {folder}: its "
                               "name; {date}: the earliest taken; {count}: the pictures"),
                            this);
  fields->setWordWrap(true);
  QFont small = fields->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  fields->setFont(small);

  ManifestBox = new QCheckBox(tr("&Write a manifest beside each sheet"), this);
  ManifestBox->setChecked(choices.manifest);
  ManifestKindBox = new QComboBox(this);
  ManifestKindBox->addItem(tr("CSV"));
  ManifestKindBox->addItem(tr("JSON"));
  ManifestKindBox->setCurrentIndex(choices.json ? 1 : 0);
  ManifestKindBox->setEnabled(choices.manifest);
  connect(ManifestBox, &QCheckBox::toggled, ManifestKindBox, &QWidget::setEnabled);
  auto* manifestRow = new QHBoxLayout;
  manifestRow->addWidget(ManifestBox);
  manifestRow->addWidget(ManifestKindBox);
  manifestRow->addStretch(1);

  Problem = new QLabel(this);
  Problem->setStyleSheet("color: #b00000");
  Problem->setWordWrap(true);

  auto* form = new QFormLayout;
  // A row of a layout gets no buddy of its own: the label is given the field.
  auto* folderLabel = new QLabel(tr("Save &into:"), this);
  folderLabel->setBuddy(FolderEdit);
  form->addRow(folderLabel, folderRow);
  form->addRow(tr("&Sheets:"), SplitBox);
  form->addRow(tr("&Names:"), PatternEdit);
  form->addRow(QString(), fields);
  form->addRow(QString(), manifestRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OkBtn = buttons->button(QDialogButtonBox::Ok);
  OkBtn->setText(tr("&Print"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Problem);
  layout->addWidget(buttons);
  connect(FolderEdit, &QLineEdit::textChanged, this, [this] { Check(); });
  connect(PatternEdit, &QLineEdit::textChanged, this, [this] { Check(); });
  Check();
}

void FolderExportDialog::Check() {
  QString problem;
  const QString pattern = PatternEdit->text().trimmed();
  if (FolderEdit->text().trimmed().isEmpty()) {
    problem = tr("Choose the folder the sheets go into.");
  } else if (const auto unknown = UnknownNameField(pattern.toStdString())) {
    problem = tr("Names may hold {path}, {folder}, {date} and {count}, not %1.").arg(QString::fromStdString(*unknown));
  } else if (pattern.isEmpty() || pattern.endsWith('/') || pattern.startsWith('/')) {
    problem = tr("The names must name a file inside the folder, such as {path}.pdf.");
  }
  Problem->setText(problem);
  Problem->setVisible(!problem.isEmpty());
  OkBtn->setEnabled(problem.isEmpty());
}

FolderExportChoices FolderExportDialog::Choices() const {
  FolderExportChoices choices;
  choices.folder = FolderEdit->text().trimmed();
  choices.tree = SplitBox->currentIndex() == 1;
  choices.pattern = UsablePattern(PatternEdit->text());
  choices.manifest = ManifestBox->isChecked();
  choices.json = ManifestKindBox->currentIndex() == 1;
  return choices;
}

void PrintEachFolder(TContactSheet& shown, const QString& typedTitle, const FolderExportChoices& choices,
                     const ExportServices& services) {
  // A sheet of its own, so the window's sheet, its pages and what it read stay as they are.
  TitledInputs inputs(*shown.Services().inputs);
  RunProgress progress(*services.progress);
  SheetServices sheetServices = shown.Services();
  sheetServices.inputs = &inputs;
  sheetServices.progress = &progress;
  sheetServices.selections = nullptr;
  TContactSheet sheet(sheetServices);
  sheet.BaseFolder = shown.BaseFolder;
  sheet.FileList = shown.FileList;
  if (shown.ShowLeftOut) {
    std::erase_if(sheet.FileList, [&shown](const std::string& entry) { return shown.Selection.IsLeftOut(entry); });
  }
  sheet.Layout = shown.Layout;
  sheet.ThumbnailJobs = shown.ThumbnailJobs;
  sheet.DecodeBudget = shown.DecodeBudget;
  const std::string root = sheet.BaseFolder;

  const QString pattern = UsablePattern(choices.pattern);
  const QString folder = QDir::cleanPath(choices.folder);
  const QString output = folder + '/' + pattern;
  const QString manifest =
      choices.manifest ? output.left(output.size() - 4) + (choices.json ? ".json" : ".csv") : QString();
  std::vector<PlannedSheet> plan;
  try {
    plan = PlanFolderSheets(sheet, choices.tree ? FolderSplit::Tree : FolderSplit::Own, Encoded(output),
                            Encoded(manifest));
  } catch (const EFolderNames& e) {
    if (e.kind == EFolderNames::Kind::Clash) {
      ShowError(services, FolderExportDialog::tr("The folders %1 and %2 would both be written to %3. Nothing was written; put "
                                      "{path} in the names.")
                              .arg(FolderShown(root, e.other), FolderShown(root, e.folder), Decoded(e.name)));
    } else {
      ShowError(services, FolderExportDialog::tr("The names give no file name for the folder %1. Nothing was written.")
                              .arg(FolderShown(root, e.folder)));
    }
    return;
  }

  std::size_t written = 0;
  FolderSheetsJob job;
  std::string temporary;
  job.printer = [&services, &temporary](const PlannedSheet& planned, PendingOutputs& outputs) {
    return PdfPrinter(planned.output, outputs, services.layoutFrom, temporary);
  };
  job.printed = [&sheet, &temporary](const PlannedSheet& planned, PrinterDevice& printer, int first, int last) {
    AnnotatePrintedPdf(sheet, printer, temporary, WindowPdfOptions(planned.output, first, last));
  };
  job.manifestJson = choices.json;
  job.cancelled = [&services] { return !services.progress->Working(); };
  job.starting = [&](std::size_t k, std::size_t count, const PlannedSheet& planned) {
    inputs.title = typedTitle.isEmpty() ? planned.fields.folder : typedTitle.toStdString();
    progress.Start(k, count,
                   FolderExportDialog::tr("Folder %1 of %2: %3")
                       .arg(k + 1)
                       .arg(count)
                       .arg(Decoded(planned.fields.path))
                       .toStdString());
  };
  job.finished = [&written](const PlannedSheet&, const SheetFiles&) { ++written; };
  AllPages dialog;
  services.progress->Show();
  struct CloseAfter {
    ProgressWindow& window;
    ~CloseAfter() { window.Close(); }
  } closeAfter{*services.progress};
  const auto report = [&services, &folder](const QString& text) {
    if (services.report) services.report(text, folder);
  };
  try {
    PrintFolderSheets(sheet, plan, dialog, *services.messages, job);
  } catch (const EAbort&) {
    services.progress->Close();
    report(FolderExportDialog::tr("Cancelled. %1 of %2 sheets were written to %3.").arg(written).arg(plan.size()).arg(folder));
    return;
  } catch (const EFolderSheet& e) {
    services.progress->Close();
    ShowError(services, FolderExportDialog::tr("The sheet of the folder %1 could not be written:\n%2\n\n%3 of %4 sheets were "
                                    "written to %5.")
                            .arg(FolderShown(root, e.folder), QString::fromUtf8(e.what()))
                            .arg(written)
                            .arg(plan.size())
                            .arg(folder));
    return;
  }
  services.progress->Close();
  report(written == 1 ? FolderExportDialog::tr("1 sheet was written to %1.").arg(folder)
                      : FolderExportDialog::tr("%1 sheets were written to %2.").arg(written).arg(folder));
}

bool SaveSheetAsPdf(TContactSheet& sheet, const SheetPdfChoice& choice, const ExportServices& services) {
  RunProgress progress(*services.progress);
  ProgressWindow* const before = sheet.Services().progress;
  sheet.Services().progress = &progress;
  struct Restore {
    TContactSheet& sheet;
    ProgressWindow* progress;
    ~Restore() {
      sheet.Services().progress = progress;
      progress->Close();
    }
  } restore{sheet, before};
  SheetFilesJob job;
  const std::string target = Encoded(choice.path);
  std::string temporary;
  job.printer = [&services, &target, &temporary](PendingOutputs& outputs) {
    return PdfPrinter(target, outputs, services.layoutFrom, temporary);
  };
  job.printed = [&sheet, &target, &temporary](PrinterDevice& printer, int first, int last) {
    AnnotatePrintedPdf(sheet, printer, temporary, WindowPdfOptions(target, first, last));
  };
  if (choice.manifest) job.manifest = Encoded(ManifestBeside(choice.path));
  job.cancelled = [&services] { return !services.progress->Working(); };
  AllPages dialog;
  try {
    PrintSheetToFiles(sheet, dialog, *services.messages, job);
  } catch (const EAbort&) {
    return false;
  }
  return true;
}

}  // namespace tablora
