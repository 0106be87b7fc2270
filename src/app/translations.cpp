#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace tablora {

QStringList Translations::Folders() {
  const QString programs = QCoreApplication::applicationDirPath();
  return {programs + "/translations", programs + "/../share/tablora/translations"};
}

bool Translations::Install(const QLocale& locale, const QStringList& folders) {
  // Qt's catalogue for a language Qt has none of is simply missing: its dialogs stay English.
  if (qt_.load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qt_);
  }
  for (const QString& folder : folders) {
    if (program_.load(locale, "tablora", "_", folder)) {
      QCoreApplication::installTranslator(&program_);
      return true;
    }
  }
  return false;
}

}  // namespace tablora
