#include "Translation.h"

#include <QDir>
#include <QTranslator>

namespace vx {

QString translationsDir(const QString& programDir)
{
    return QDir(programDir).filePath(QStringLiteral("translations"));
}

bool loadTranslation(QTranslator& translator, const QLocale& locale, const QString& programDir)
{
    return translator.load(locale, QStringLiteral("vxtools"), QStringLiteral("_"), translationsDir(programDir));
}

} // namespace vx
