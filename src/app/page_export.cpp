#include "app/page_export.h"

#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <algorithm>
#include <cmath>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "platform/bitmap_image.h"
#include "platform/canvas_factory.h"
#include "platform/qt_printer_device.h"
#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

// The print dialog of a saved page: that page, no questions.
class OnePage : public PrintDialog {
 public:
  explicit OnePage(int page) : page_(page) {}
  PrintChoice Execute(int, int) override { return {true, prPageNums, page_, page_}; }

 private:
  int page_;
};

void SaveAsPdf(TContactSheet& sheet, int page, const QString& path, const QPrinter* layoutFrom,
               MessageBox& messages) {
  QtPrinterDevice pdf(QFile::encodeName(path).toStdString());
  if (layoutFrom != nullptr) pdf.Printer()->setPageLayout(layoutFrom->pageLayout());
  PrinterDevice* shown = sheet.Services().printer;
  sheet.Services().printer = &pdf;
  struct Restore {
    TContactSheet& sheet;
    PrinterDevice* printer;
    ~Restore() { sheet.Services().printer = printer; }
  } restore{sheet, shown};
  OnePage dialog(page);
  sheet.Print(dialog, messages);
}

void SaveAsPicture(TContactSheet& sheet, int page, const QString& path, CanvasFactory& canvases) {
  const SheetPage paper = sheet.PrinterPage();
  const double scale = kSavedPageDpi / 25.4 / (paper.pixelsPerMm > 0 ? paper.pixelsPerMm : kSavedPageDpi / 25.4);
  const int width = std::max(1, static_cast<int>(std::lround((paper.rect.Right - paper.rect.Left) * scale)));
  const int height = std::max(1, static_cast<int>(std::lround((paper.rect.Bottom - paper.rect.Top) * scale)));
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetWidth(width);
  bitmap.SetHeight(height);
  {
    std::unique_ptr<DrawingSurface> canvas = canvases.CanvasFor(bitmap);
    canvas->SetBrushColor(clWhite);
    canvas->SetBrushSolid();
    canvas->FillRect(canvas->ClipRect());
    struct Restore {
      TContactSheet& sheet;
      int32_t dpi;
      TRect rect;
      ~Restore() {
        sheet.SurfaceDpi = dpi;
        sheet.PageRect = rect;
      }
    } restore{sheet, sheet.SurfaceDpi, sheet.PageRect};
    sheet.SurfaceDpi = kSavedPageDpi;
    sheet.PageRect = canvas->ClipRect();
    sheet.OriginX = 0;
    sheet.OriginY = 0;
    sheet.Paginate();
    sheet.RenderPage(*canvas, page);
  }
  QImage image = BitmapImage(bitmap).convertToFormat(QImage::Format_RGB32);
  const int perMetre = static_cast<int>(std::lround(kSavedPageDpi / 0.0254));
  image.setDotsPerMeterX(perMetre);
  image.setDotsPerMeterY(perMetre);
  const QString suffix = QFileInfo(path).suffix().toLower();
  const char* format = suffix == "png" ? "PNG" : "JPEG";
  if (!image.save(path, format, 92)) {
    throw Exception(std::string("Cannot write ").append(QFile::encodeName(path).toStdString()));
  }
}

}  // namespace

void SavePage(TContactSheet& sheet, int page, const QString& path, CanvasFactory& canvases,
              const QPrinter* layoutFrom, MessageBox& messages) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "pdf") {
    SaveAsPdf(sheet, page, path, layoutFrom, messages);
  } else {
    SaveAsPicture(sheet, page, path, canvases);
  }
}

}  // namespace tablora
