// Qt's own words in Korean: the file dialog's labels and buttons ("Look
// in", "File name", "Open", ...) and the message box's OK come from Qt,
// in English unless its Korean translations are loaded. Debian ships them
// in qt6-translations-l10n.
#ifndef MDBCARE_APP_QT_TRANSLATIONS_H_
#define MDBCARE_APP_QT_TRANSLATIONS_H_

class QCoreApplication;

namespace app {

// Installs Qt's Korean translations (qtbase_ko.qm from Qt's translations
// folder) in `application`, which owns them, and makes Korean the default
// locale. Returns false when the translations are not installed; Qt's
// words then stay English.
bool InstallKoreanQtTranslations(QCoreApplication* application);

}  // namespace app

#endif  // MDBCARE_APP_QT_TRANSLATIONS_H_
