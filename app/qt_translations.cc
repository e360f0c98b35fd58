#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

bool InstallKoreanQtTranslations(QCoreApplication* application) {
  const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
  QLocale::setDefault(korean);
  auto* translator = new QTranslator(application);
  if (!translator->load(korean, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace app
