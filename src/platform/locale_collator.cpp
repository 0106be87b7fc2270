#include "platform/locale_collator.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <numeric>

namespace tablora {

namespace {

// Names are bytes. Valid UTF-8 becomes its characters; every byte that is not part of a valid
// sequence becomes a private-use character of its own, so two names that differ only in such bytes
// never collapse into one entry.
QString CollationText(const std::string& bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    char32_t code = 0;
    std::size_t length = 0;
    if (c < 0x80) {
      code = c;
      length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      code = c & 0x1F;
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      code = c & 0x0F;
      length = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      code = c & 0x07;
      length = 4;
    }
    bool valid = length > 0 && i + length <= n;
    for (std::size_t k = 1; valid && k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    if (valid && length > 1) {
      const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
      if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) valid = false;
    }
    if (!valid) {
      text.append(QChar(static_cast<char16_t>(0xF700 + c)));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      text.append(QChar(QChar::highSurrogate(code)));
      text.append(QChar(QChar::lowSurrogate(code)));
    } else {
      text.append(QChar(static_cast<char16_t>(code)));
    }
    i += length;
  }
  return text;
}

// The C and POSIX locales name no language; their collation is a plain code-unit order that is
// not case-blind in sort keys. The root collation (the same as English) stands in for them.
QLocale CollationLocale() {
  const QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
  return system;
}

}  // namespace

struct LocaleCollator::Impl {
  QCollator collator{CollationLocale()};
};

LocaleCollator::LocaleCollator() : impl_(std::make_unique<Impl>()) {
  impl_->collator.setCaseSensitivity(Qt::CaseInsensitive);
  impl_->collator.setNumericMode(false);
  impl_->collator.setIgnorePunctuation(false);
}

LocaleCollator::~LocaleCollator() = default;

int LocaleCollator::Compare(const std::string& a, const std::string& b) const {
  return impl_->collator.compare(CollationText(a), CollationText(b));
}

std::vector<std::size_t> LocaleCollator::SortUnique(const std::vector<std::string>& items) const {
  std::vector<QCollatorSortKey> keys;
  keys.reserve(items.size());
  for (const std::string& item : items) keys.push_back(impl_->collator.sortKey(CollationText(item)));

  std::vector<std::size_t> order(items.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  // Stable: of entries that compare equal, the one found first comes first and is the one kept.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
  auto last = std::unique(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return keys[a].compare(keys[b]) == 0;
  });
  order.erase(last, order.end());
  return order;
}

}  // namespace tablora
