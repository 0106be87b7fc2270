#include "platform/digest.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace tablora {

std::string Md5Hex(std::string_view bytes) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Md5);
  return digest.toHex().toStdString();
}

}  // namespace tablora
