#pragma once

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/printer_device.h"
#include "platform/qt_drawing_surface.h"

namespace tablora::cli {

// A printer whose pages are pictures: each page of a job is painted on a white image of the
// printable page's size and written as a picture file (PNG unless told otherwise) when the next
// page starts or the job ends.
// Text is measured and drawn at the given resolution, as on a printer of that resolution.
class ImagePagePrinter : public PrinterDevice {
 public:
  // Where the page with a given number goes: a temporary made by PendingOutputs::Add.
  using PagePath = std::function<std::string(int32_t page)>;

  // How a finished page is written into its temporary; null: as PNG.
  using PageWriter = std::function<void(const QImage& page, const std::string& temporary)>;

  ImagePagePrinter(int width, int height, int dpi, PagePath pathFor, PageWriter write = nullptr);
  ~ImagePagePrinter() override;
  ImagePagePrinter(const ImagePagePrinter&) = delete;
  ImagePagePrinter& operator=(const ImagePagePrinter&) = delete;

  // The number of the first page of the next job; the job's pages count up from it.
  void SetFirstPage(int32_t page) { firstPage_ = page; }
  // Pages written by the last job.
  int32_t PagesWritten() const { return written_; }
  bool Printing() const { return painter_ != nullptr; }

  int PageWidth() override { return width_; }
  int PageHeight() override { return height_; }
  int Resolution() override { return dpi_; }
  DrawingSurface& Canvas() override { return *canvas_; }
  void SetTitle(const std::string& title) override { title_ = title; }
  std::string Title() const override { return title_; }
  void BeginDoc() override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;

 private:
  void StartPage();
  void WritePage();
  void Finish();

  int width_;
  int height_;
  int dpi_;
  int dotsPerMeter_;
  PagePath pathFor_;
  PageWriter write_;
  // Stands for the page before a job starts, so text is measured at the page's resolution.
  QImage measure_;
  QImage page_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QtDrawingSurface> canvas_;
  std::string title_;
  int32_t firstPage_ = 1;
  int32_t pageNumber_ = 0;
  int32_t written_ = 0;
};

}  // namespace tablora::cli
