#pragma once

#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace tablora {

// The catalogues of one language on the running application, for as long as this lives: the
// program's own and Qt's (the buttons and labels of its dialogs). A language without a catalogue
// leaves the English source texts.
class Translations {
 public:
  // Where the program's catalogue is looked for, the first found serving: "translations" beside
  // the program (as the build leaves it), then share/tablora/translations of the prefix it was
  // installed into.
  static QStringList Folders();

  // True when the program's own catalogue for `locale` was found.
  bool Install(const QLocale& locale, const QStringList& folders = Folders());

 private:
  QTranslator program_;
  QTranslator qt_;
};

}  // namespace tablora
