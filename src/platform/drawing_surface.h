#pragma once

#include <string>

#include "imaging/bitmap.h"
#include "imaging/types.h"

namespace tablora {

// The style of a typeface beside its name.
struct TFontStyle {
  bool bold = false;
  bool italic = false;
  friend bool operator==(const TFontStyle&, const TFontStyle&) = default;
};

// Where pages, cells and the preview are drawn. Coordinates are device pixels; text is UTF-8
// (file names that are not valid UTF-8 are shown with a lossy conversion).
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  virtual std::string FontName() const = 0;
  virtual void SetFontName(const std::string& name) = 0;
  // Surfaces that draw no text of their own may keep the upright regular style.
  virtual TFontStyle FontStyle() const { return {}; }
  virtual void SetFontStyle(TFontStyle style) { (void)style; }
  // Height of the character cell in pixels, internal leading included.
  virtual int FontHeight() const = 0;
  virtual void SetFontHeight(int pixels) = 0;
  virtual TColor FontColor() const = 0;
  virtual void SetFontColor(TColor color) = 0;

  virtual int TextWidth(const std::string& text) = 0;
  // Whether the current typeface itself has every character of text (no substitute drawn).
  virtual bool HasCharacters(const std::string& text) {
    (void)text;
    return true;
  }
  // Text with its top-left corner at (x, y), on an opaque background in the brush colour.
  virtual void TextOut(int x, int y, const std::string& text) = 0;

  virtual TColor BrushColor() const = 0;
  virtual void SetBrushColor(TColor color) = 0;
  virtual void SetBrushSolid() = 0;

  // The drawable rectangle, origin 0, 0.
  virtual TRect ClipRect() const = 0;
  virtual void FillRect(const TRect& rect) = 0;
  // The whole bitmap scaled into rect, nearest neighbour; a transparent bitmap leaves its
  // transparent colour undrawn.
  virtual void StretchDraw(const TRect& rect, const TBitmap& bitmap) = 0;
  // The bitmap unscaled with its top-left corner at (x, y).
  virtual void Draw(int x, int y, const TBitmap& bitmap) = 0;
};

// A surface that passes everything on to another; wrappers override what they change.
class ForwardingDrawingSurface : public DrawingSurface {
 public:
  explicit ForwardingDrawingSurface(DrawingSurface& target) : target_(target) {}

  std::string FontName() const override { return target_.FontName(); }
  void SetFontName(const std::string& name) override { target_.SetFontName(name); }
  TFontStyle FontStyle() const override { return target_.FontStyle(); }
  void SetFontStyle(TFontStyle style) override { target_.SetFontStyle(style); }
  int FontHeight() const override { return target_.FontHeight(); }
  void SetFontHeight(int pixels) override { target_.SetFontHeight(pixels); }
  TColor FontColor() const override { return target_.FontColor(); }
  void SetFontColor(TColor color) override { target_.SetFontColor(color); }
  int TextWidth(const std::string& text) override { return target_.TextWidth(text); }
  bool HasCharacters(const std::string& text) override { return target_.HasCharacters(text); }
  void TextOut(int x, int y, const std::string& text) override { target_.TextOut(x, y, text); }
  TColor BrushColor() const override { return target_.BrushColor(); }
  void SetBrushColor(TColor color) override { target_.SetBrushColor(color); }
  void SetBrushSolid() override { target_.SetBrushSolid(); }
  TRect ClipRect() const override { return target_.ClipRect(); }
  void FillRect(const TRect& rect) override { target_.FillRect(rect); }
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override { target_.StretchDraw(rect, bitmap); }
  void Draw(int x, int y, const TBitmap& bitmap) override { target_.Draw(x, y, bitmap); }

 protected:
  DrawingSurface& Target() const { return target_; }

 private:
  DrawingSurface& target_;
};

}  // namespace tablora
