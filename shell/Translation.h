// The program's translations: "vxtools_<locale>.qm" in the folder
// translations/ beside the program (build tree and installed tree alike).
#pragma once

#include <QLocale>
#include <QString>

class QTranslator;

namespace vx {

QString translationsDir(const QString& programDir);

// Loads the best match for `locale` (e.g. zh_CN, then zh) into `translator`.
// False when none ships: the program then shows its own English texts.
bool loadTranslation(QTranslator& translator, const QLocale& locale, const QString& programDir);

} // namespace vx
