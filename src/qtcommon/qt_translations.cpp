#include "qtcommon/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/logging.h"

namespace lumivex {

bool InstallQtTranslations(const QString& locale) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // Owned by the application: it lives as long as the texts it translates.
  auto* translator = new QTranslator(QCoreApplication::instance());
  // "qt" is the catalogue that names qtbase's and the other modules' files.
  if (!translator->load(QLocale(locale), QStringLiteral("qt"), QStringLiteral("_"), folder) ||
      !QCoreApplication::installTranslator(translator)) {
    LogLine("Qt's own translations for " + locale.toStdString() + " are not in " + folder.toStdString());
    delete translator;
    return false;
  }
  return true;
}

}  // namespace lumivex
