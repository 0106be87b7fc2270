#include "platform/qt_drawing_surface.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/bitmap_image.h"

namespace tablora {

namespace {

// Rectangles in 64 bits: a TRect's corners may lie anywhere in 32 bits, so its width may not.
struct Box {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;

  static Box Of(const TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
  int64_t Width() const { return right - left; }
  int64_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Box&) const = default;
};

Box Intersect(const Box& a, const Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

QRect ToQRect(const Box& b) {
  return QRect(static_cast<int>(b.left), static_cast<int>(b.top), static_cast<int>(b.Width()),
               static_cast<int>(b.Height()));
}

void PrepareForDrawing(QPainter& painter) {
  // Stretching drops or repeats rows and columns; nothing is blended.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setRenderHint(QPainter::Antialiasing, false);
}

// The part of the source that a part of the destination shows, under the mapping of the whole
// destination rectangle.
QRectF SourceOf(const Box& part, const Box& dest, const TBitmap& bitmap) {
  if (part == dest) return QRectF(0, 0, bitmap.Width(), bitmap.Height());
  const double scaleX = static_cast<double>(bitmap.Width()) / static_cast<double>(dest.Width());
  const double scaleY = static_cast<double>(bitmap.Height()) / static_cast<double>(dest.Height());
  return QRectF(static_cast<double>(part.left - dest.left) * scaleX,
                static_cast<double>(part.top - dest.top) * scaleY,
                static_cast<double>(part.Width()) * scaleX, static_cast<double>(part.Height()) * scaleY);
}

// Rows of the destination keyed at a time, so a transparent bitmap across a whole printer page
// needs a few megabytes, not a page-sized mask.
constexpr int64_t kKeyedBandRows = 256;

void DrawKeyed(QPainter& painter, const Box& visible, const Box& dest, const QImage& image,
               const TBitmap& bitmap) {
  const QRgb key = ToQRgb(bitmap.TransparentColor() & 0x00FFFFFF) & 0x00FFFFFFu;
  for (int64_t top = visible.top; top < visible.bottom; top += kKeyedBandRows) {
    const Box band{visible.left, top, visible.right, std::min(visible.bottom, top + kKeyedBandRows)};
    QImage keyed(static_cast<int>(band.Width()), static_cast<int>(band.Height()), QImage::Format_ARGB32);
    if (keyed.isNull()) return;
    {
      QPainter keyPainter(&keyed);
      PrepareForDrawing(keyPainter);
      keyPainter.setCompositionMode(QPainter::CompositionMode_Source);
      keyPainter.drawImage(QRectF(QPointF(0, 0), QSizeF(keyed.size())), image, SourceOf(band, dest, bitmap));
    }
    for (int y = 0; y < keyed.height(); ++y) {
      QRgb* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
      for (int x = 0; x < keyed.width(); ++x) {
        if ((row[x] & 0x00FFFFFFu) == key) row[x] = 0;
      }
    }
    painter.drawImage(QPoint(static_cast<int>(band.left), static_cast<int>(band.top)), keyed);
  }
}

void DrawStretched(QPainter& painter, const Box& dest, const Box& clip, const TBitmap& bitmap) {
  if (bitmap.Empty() || dest.Empty()) return;
  const Box visible = Intersect(dest, clip);
  if (visible.Empty()) return;
  const QImage image = BitmapImage(bitmap);
  if (image.isNull()) return;
  // Only the visible part goes to Qt, with the matching part of the source: the mapping stays
  // the one of the whole rectangle, and Qt never sees coordinates far off the device.
  if (bitmap.Transparent()) {
    // The transparent colour is cleared after stretching, so the mask costs the size of the
    // destination, not of the (possibly huge) source.
    DrawKeyed(painter, visible, dest, image, bitmap);
  } else {
    painter.drawImage(QRectF(ToQRect(visible)), image, SourceOf(visible, dest, bitmap));
  }
}


class NearestIndex {
 public:
  explicit NearestIndex(const QList<QRgb>& table) : table_(table) {}

  uint8_t operator()(QRgb color) {
    const auto cached = cache_.find(color);
    if (cached != cache_.end()) return cached->second;
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int i = 0; i < static_cast<int>(table_.size()); ++i) {
      const int dr = qRed(table_[i]) - qRed(color);
      const int dg = qGreen(table_[i]) - qGreen(color);
      const int db = qBlue(table_[i]) - qBlue(color);
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = i;
      }
    }
    cache_.emplace(color, static_cast<uint8_t>(best));
    return static_cast<uint8_t>(best);
  }

 private:
  const QList<QRgb>& table_;
  std::unordered_map<QRgb, uint8_t> cache_;
};

}  // namespace

QtDrawingSurface::QtDrawingSurface(QImage& image)
    : device_(&image), clip_(Rect(0, 0, image.width(), image.height())) {
  BeginOwnPainter(image);
}

QtDrawingSurface::QtDrawingSurface(TBitmap& bitmap)
    : clip_(Rect(0, 0, bitmap.Width(), bitmap.Height())) {
  target_ = WritableBitmapImage(bitmap);
  if (target_.isNull() && !bitmap.Empty()) {
    indexedBitmap_ = &bitmap;
    target_ = BitmapImage(bitmap).convertToFormat(QImage::Format_RGB32);
  }
  device_ = &target_;
  BeginOwnPainter(target_);
}

QtDrawingSurface::QtDrawingSurface(QPainter& painter, TRect clip) { UsePainter(painter, clip); }

QtDrawingSurface::QtDrawingSurface(QPaintDevice& device, TRect clip) { UseDeviceOnly(device, clip); }

QtDrawingSurface::~QtDrawingSurface() {
  if (ownPainter_) ownPainter_->end();
  if (indexedBitmap_) WriteBackIndexed();
}

void QtDrawingSurface::BeginOwnPainter(QPaintDevice& device) {
  // QPainter refuses a null image with a warning; such a surface simply draws nothing.
  if (device.width() <= 0 || device.height() <= 0) return;
  ownPainter_ = std::make_unique<QPainter>();
  if (!ownPainter_->begin(&device)) {
    ownPainter_.reset();
    return;
  }
  painter_ = ownPainter_.get();
  PrepareForDrawing(*painter_);
}

void QtDrawingSurface::UsePainter(QPainter& painter, TRect clip) {
  painter_ = &painter;
  device_ = painter.device();
  clip_ = clip;
  fontStale_ = true;
  PrepareForDrawing(painter);
}

void QtDrawingSurface::UseDeviceOnly(QPaintDevice& device, TRect clip) {
  painter_ = nullptr;
  device_ = &device;
  clip_ = clip;
  fontStale_ = true;
}

void QtDrawingSurface::WriteBackIndexed() {
  TBitmap& bitmap = *indexedBitmap_;
  const int bits = bitmap.BitsPerPixel();
  const QList<QRgb> table = ColorTableOf(bitmap, 1 << bits);
  const QList<QRgb> palette(table.begin(),
                            table.begin() + std::min<qsizetype>(table.size(),
                                                                static_cast<qsizetype>(bitmap.Palette().size())));
  NearestIndex nearest(palette);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const QRgb* drawn = reinterpret_cast<const QRgb*>(target_.constScanLine(y));
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      // Untouched pixels keep their index even where the palette holds a colour twice.
      const QRgb color = drawn[x] | 0xFF000000u;
      if (color == table[PackedIndex(row, x, bits)]) continue;
      SetPackedIndex(row, x, bits, nearest(color));
    }
  }
}

void QtDrawingSurface::SetFontName(const std::string& name) {
  if (name == fontName_) return;
  fontName_ = name;
  fontStale_ = true;
}

void QtDrawingSurface::SetFontHeight(int pixels) {
  if (pixels == fontHeight_) return;
  fontHeight_ = pixels;
  fontStale_ = true;
}

void QtDrawingSurface::SetFontStyle(TFontStyle style) {
  if (style == fontStyle_) return;
  fontStyle_ = style;
  fontStale_ = true;
}

namespace {

QFont StyledFont(const QString& family, TFontStyle style) {
  QFont font(family);
  font.setBold(style.bold);
  font.setItalic(style.italic);
  return font;
}

}  // namespace

int QtDrawingSurface::ChoosePixelSize(const QString& family, int height, const QPaintDevice& device,
                                      TFontStyle style) {
  // No device needs a cell taller than this; beyond it font engines only waste time and memory.
  constexpr int kLargestCell = 32767;
  const int asked = std::clamp(height, 1, kLargestCell);
  using Key = std::tuple<QString, int, int, int, bool, bool>;
  static std::mutex mutex;
  static std::map<Key, int> cache;
  const Key key{family, device.logicalDpiX(), device.logicalDpiY(), asked, style.bold, style.italic};
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = cache.find(key);
    if (found != cache.end()) return found->second;
  }

  QFont font = StyledFont(family, style);
  const auto cellHeight = [&](int pixelSize) {
    font.setPixelSize(pixelSize);
    return QFontMetrics(font, &device).height();
  };
  // The cell is a fairly constant multiple of the pixel size; start from that guess and walk.
  const int atAsked = std::max(cellHeight(asked), 1);
  int size = std::max(1, static_cast<int>(static_cast<int64_t>(asked) * asked / atAsked));
  while (size > 1 && cellHeight(size) > asked) --size;
  // Fonts that exist in fixed sizes only stop growing; the bound ends the walk for them.
  const int largest = std::min(kLargestCell, 4 * asked);
  while (size < largest && cellHeight(size + 1) <= asked) ++size;

  const std::lock_guard<std::mutex> lock(mutex);
  cache.emplace(key, size);
  return size;
}

void QtDrawingSurface::PrepareFont() {
  if (!fontStale_) return;
  const QString family = QString::fromUtf8(fontName_);
  font_ = StyledFont(family, fontStyle_);
  if (device_) font_.setPixelSize(ChoosePixelSize(family, fontHeight_, *device_, fontStyle_));
  fontStale_ = false;
}

const QFont& QtDrawingSurface::ResolvedFont() {
  PrepareFont();
  return font_;
}

int QtDrawingSurface::TextWidth(const std::string& text) {
  if (!device_) return 0;
  PrepareFont();
  return QFontMetrics(font_, device_).horizontalAdvance(QString::fromUtf8(text));
}

bool QtDrawingSurface::HasCharacters(const std::string& text) {
  PrepareFont();
  const QFontMetrics metrics(font_);
  for (const char32_t c : QString::fromUtf8(text).toUcs4()) {
    if (!metrics.inFontUcs4(c)) return false;
  }
  return true;
}

void QtDrawingSurface::TextOut(int x, int y, const std::string& text) {
  if (!painter_ || !device_) return;
  PrepareFont();
  const QString string = QString::fromUtf8(text);
  const QFontMetrics metrics(font_, device_);
  const Box box{x, y, static_cast<int64_t>(x) + metrics.horizontalAdvance(string),
                static_cast<int64_t>(y) + metrics.height()};
  if (Intersect(box, Box::Of(clip_)).Empty()) return;
  painter_->fillRect(ToQRect(box), ToQColor(brushColor_));
  painter_->setFont(font_);
  painter_->setPen(ToQColor(fontColor_));
  painter_->drawText(QPointF(x, static_cast<double>(y) + metrics.ascent()), string);
}

void QtDrawingSurface::FillRect(const TRect& rect) {
  if (!painter_) return;
  const Box visible = Intersect(Box::Of(rect), Box::Of(clip_));
  if (visible.Empty()) return;
  painter_->fillRect(ToQRect(visible), ToQColor(brushColor_));
}

void QtDrawingSurface::StretchDraw(const TRect& rect, const TBitmap& bitmap) {
  if (painter_) DrawStretched(*painter_, Box::Of(rect), Box::Of(clip_), bitmap);
}

void QtDrawingSurface::Draw(int x, int y, const TBitmap& bitmap) {
  if (!painter_) return;
  const Box dest{x, y, static_cast<int64_t>(x) + bitmap.Width(), static_cast<int64_t>(y) + bitmap.Height()};
  DrawStretched(*painter_, dest, Box::Of(clip_), bitmap);
}

}  // namespace tablora
