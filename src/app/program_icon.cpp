#include "app/program_icon.h"

#include <QFile>
#include <QPixmap>

#include "imaging/readers/png_reader.h"
#include "imaging/stream.h"
#include "platform/bitmap_image.h"

namespace tablora {

QImage ProgramIconPicture() {
  QFile file(":/tablora/tablora.png");
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  TPNGGraphic png;
  try {
    TBufferStream stream(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    png.LoadFromStream(stream);
  } catch (const std::exception&) {
    return {};
  }
  QImage picture = BitmapImage(png).copy();
  // Straight alpha in the fourth byte: the icon's see-through corners stay so on the title bar.
  if (png.AlphaChannel() && picture.format() == QImage::Format_RGB32) {
    picture.reinterpretAsFormat(QImage::Format_ARGB32);
  }
  return picture;
}

QIcon ProgramIcon() {
  const QImage picture = ProgramIconPicture();
  return picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture));
}

}  // namespace tablora
