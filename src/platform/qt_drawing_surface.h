#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <memory>
#include <string>

#include "imaging/bitmap.h"
#include "platform/drawing_surface.h"

class QPaintDevice;

namespace tablora {

// DrawingSurface over a QPainter. Coordinates are the painter's logical coordinates, which are
// device pixels for every target made here (no transform is ever set).
//
// The font is chosen by typeface and character-cell height: the largest pixel size whose
// QFontMetrics::height() on the target device does not exceed the asked height. The surface
// starts with "Tahoma", 13 pixels, black text and a white solid brush.
class QtDrawingSurface : public DrawingSurface {
 public:
  // Paints on `image`, which must outlive the surface and be a format QPainter paints on.
  explicit QtDrawingSurface(QImage& image);
  // Paints straight into the bitmap's rows for 15, 16, 24 and 32 bits. Indexed bitmaps are painted
  // on a 32-bit copy whose changed pixels go back as the nearest palette entry when the surface is
  // destroyed. The bitmap must be neither resized nor reformatted while the surface lives.
  explicit QtDrawingSurface(TBitmap& bitmap);
  // Draws through a painter the caller owns and keeps active; `clip` is the drawable rectangle.
  QtDrawingSurface(QPainter& painter, TRect clip);
  // Measures text for `device` and draws nothing, as a printer page does before its job starts.
  QtDrawingSurface(QPaintDevice& device, TRect clip);
  ~QtDrawingSurface() override;

  QtDrawingSurface(const QtDrawingSurface&) = delete;
  QtDrawingSurface& operator=(const QtDrawingSurface&) = delete;

  // Moves a surface made over a painter or a device onto another painter, or back to measuring
  // only; font and brush settings carry over. Used across the start and end of a print job.
  void UsePainter(QPainter& painter, TRect clip);
  void UseDeviceOnly(QPaintDevice& device, TRect clip);

  std::string FontName() const override { return fontName_; }
  void SetFontName(const std::string& name) override;
  TFontStyle FontStyle() const override { return fontStyle_; }
  void SetFontStyle(TFontStyle style) override;
  int FontHeight() const override { return fontHeight_; }
  void SetFontHeight(int pixels) override;
  TColor FontColor() const override { return fontColor_; }
  void SetFontColor(TColor color) override { fontColor_ = color; }

  int TextWidth(const std::string& text) override;
  bool HasCharacters(const std::string& text) override;
  void TextOut(int x, int y, const std::string& text) override;

  TColor BrushColor() const override { return brushColor_; }
  void SetBrushColor(TColor color) override { brushColor_ = color; }
  void SetBrushSolid() override {}

  TRect ClipRect() const override { return clip_; }
  void FillRect(const TRect& rect) override;
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override;
  void Draw(int x, int y, const TBitmap& bitmap) override;

  // The QFont the current name and height resolve to on this surface's device.
  const QFont& ResolvedFont();

  // The pixel size ChoosePixelSize settles on for `family` and `height` on `device`.
  static int ChoosePixelSize(const QString& family, int height, const QPaintDevice& device,
                             TFontStyle style = {});

 private:
  void BeginOwnPainter(QPaintDevice& device);
  void PrepareFont();
  void WriteBackIndexed();

  TBitmap* indexedBitmap_ = nullptr;
  QImage target_;
  std::unique_ptr<QPainter> ownPainter_;
  QPainter* painter_ = nullptr;
  QPaintDevice* device_ = nullptr;
  TRect clip_;

  std::string fontName_ = "Tahoma";
  int fontHeight_ = 13;
  TFontStyle fontStyle_;
  TColor fontColor_ = clBlack;
  TColor brushColor_ = clWhite;
  QFont font_;
  bool fontStale_ = true;
};

}  // namespace tablora
