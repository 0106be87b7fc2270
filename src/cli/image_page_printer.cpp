#include "cli/image_page_printer.h"

#include <cmath>
#include <stdexcept>

#include "cli/png_output.h"

namespace tablora::cli {

namespace {
constexpr double kMetersPerInch = 0.0254;
}  // namespace

ImagePagePrinter::ImagePagePrinter(int width, int height, int dpi, PagePath pathFor, PageWriter write)
    : width_(width),
      height_(height),
      dpi_(dpi),
      dotsPerMeter_(static_cast<int>(std::lround(dpi / kMetersPerInch))),
      pathFor_(std::move(pathFor)),
      write_(write ? std::move(write) : PageWriter(WritePng)),
      measure_(1, 1, QImage::Format_RGB32) {
  measure_.setDotsPerMeterX(dotsPerMeter_);
  measure_.setDotsPerMeterY(dotsPerMeter_);
  canvas_ = std::make_unique<QtDrawingSurface>(static_cast<QPaintDevice&>(measure_),
                                               Rect(0, 0, width_, height_));
}

ImagePagePrinter::~ImagePagePrinter() {
  if (Printing()) Abort();
}

void ImagePagePrinter::BeginDoc() {
  if (Printing()) throw std::runtime_error("Printing in progress");
  // One page image serves the whole job; a page too large for memory fails here, before any file.
  page_ = QImage(width_, height_, QImage::Format_RGB32);
  if (page_.isNull()) {
    throw std::runtime_error("a page of " + std::to_string(width_) + " x " + std::to_string(height_) +
                             " pixels does not fit in memory; choose a lower --dpi");
  }
  page_.setDotsPerMeterX(dotsPerMeter_);
  page_.setDotsPerMeterY(dotsPerMeter_);
  pageNumber_ = firstPage_;
  written_ = 0;
  StartPage();
}

void ImagePagePrinter::StartPage() {
  page_.fill(Qt::white);
  painter_ = std::make_unique<QPainter>(&page_);
  canvas_->UsePainter(*painter_, Rect(0, 0, width_, height_));
  // A printer page starts white with a white solid brush.
  canvas_->SetBrushColor(clWhite);
  canvas_->SetBrushSolid();
}

void ImagePagePrinter::WritePage() {
  canvas_->UseDeviceOnly(measure_, Rect(0, 0, width_, height_));
  painter_->end();
  painter_.reset();
  write_(page_, pathFor_(pageNumber_));
  ++written_;
  ++pageNumber_;
}

void ImagePagePrinter::NewPage() {
  if (!Printing()) throw std::runtime_error("Printer is not currently printing");
  WritePage();
  StartPage();
}

void ImagePagePrinter::EndDoc() {
  if (!Printing()) throw std::runtime_error("Printer is not currently printing");
  WritePage();
  page_ = QImage();
}

void ImagePagePrinter::Abort() {
  // Cleanup paths call this without knowing whether a job runs; pages already written belong to
  // whoever chose their paths.
  if (!Printing()) return;
  canvas_->UseDeviceOnly(measure_, Rect(0, 0, width_, height_));
  painter_->end();
  painter_.reset();
  page_ = QImage();
}

}  // namespace tablora::cli
