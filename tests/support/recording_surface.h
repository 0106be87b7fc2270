#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/drawing_surface.h"

namespace tablora::test {

// A DrawingSurface that draws nothing and remembers every drawing call with the state it ran in.
// Text is measured as characters x FontHeight() / 2 unless a measure function is set.
class RecordingSurface : public DrawingSurface {
 public:
  enum class Kind { TextOut, FillRect, StretchDraw, Draw };

  struct Op {
    Kind kind;
    TRect rect;          // FillRect, StretchDraw; Left/Top hold the point of TextOut and Draw
    std::string text;    // TextOut
    std::string font;    // font name at the call
    int fontHeight = 0;  // font height at the call
    TColor color = 0;    // font colour for TextOut, brush colour for FillRect
    int bitmapWidth = 0;
    int bitmapHeight = 0;
  };

  explicit RecordingSurface(TRect clip = Rect(0, 0, 0, 0)) : clip_(clip) {}

  // What HasCharacters answers: whether the typeface draws the rating's stars.
  bool hasStars = true;

  std::string FontName() const override { return fontName_; }
  void SetFontName(const std::string& name) override { fontName_ = name; }
  int FontHeight() const override { return fontHeight_; }
  void SetFontHeight(int pixels) override { fontHeight_ = pixels; }
  TColor FontColor() const override { return fontColor_; }
  void SetFontColor(TColor color) override { fontColor_ = color; }

  int TextWidth(const std::string& text) override {
    if (measure) return measure(text, fontHeight_);
    return static_cast<int>(text.size()) * fontHeight_ / 2;
  }
  bool HasCharacters(const std::string&) override { return hasStars; }
  void TextOut(int x, int y, const std::string& text) override {
    ops.push_back({Kind::TextOut, Rect(x, y, x, y), text, fontName_, fontHeight_, fontColor_, 0, 0});
  }

  TColor BrushColor() const override { return brushColor_; }
  void SetBrushColor(TColor color) override { brushColor_ = color; }
  void SetBrushSolid() override {}

  TRect ClipRect() const override { return clip_; }
  void SetClipRect(TRect clip) { clip_ = clip; }
  void FillRect(const TRect& rect) override {
    ops.push_back({Kind::FillRect, rect, {}, fontName_, fontHeight_, brushColor_, 0, 0});
  }
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override {
    ops.push_back({Kind::StretchDraw, rect, {}, fontName_, fontHeight_, 0, bitmap.Width(),
                   bitmap.Height()});
  }
  void Draw(int x, int y, const TBitmap& bitmap) override {
    ops.push_back({Kind::Draw, Rect(x, y, x + bitmap.Width(), y + bitmap.Height()), {}, fontName_,
                   fontHeight_, 0, bitmap.Width(), bitmap.Height()});
  }

  std::vector<Op> OpsOf(Kind kind) const {
    std::vector<Op> result;
    for (const Op& op : ops) {
      if (op.kind == kind) result.push_back(op);
    }
    return result;
  }

  std::vector<Op> ops;
  std::function<int(const std::string&, int)> measure;

 private:
  TRect clip_;
  std::string fontName_ = "Tahoma";
  int fontHeight_ = 13;
  TColor fontColor_ = clBlack;
  TColor brushColor_ = clWhite;
};

}  // namespace tablora::test
