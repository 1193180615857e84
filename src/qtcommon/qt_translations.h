#pragma once
// Qt's own texts (standard buttons, the file chooser) in the interface's
// language, so that "确定"/"取消" stand beside the windows' Chinese.

#include <QString>

namespace lumivex {

// The interface language of the windows' texts.
inline constexpr char kInterfaceLocale[] = "zh_CN";

// Installs Qt's translations of locale from its translations folder; false
// when they are not installed: the buttons then read in English.
bool InstallQtTranslations(const QString& locale = QString::fromLatin1(kInterfaceLocale));

}  // namespace lumivex
