#include "scopesavename.h"

#include <QDateTime>
#include <QFileInfo>

namespace scopesavename {

QString proposedName(const QString& suffix)
{
    return QStringLiteral("VX_Scope_") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd_hh_mm_ss"))
           + QLatin1Char('.') + suffix;
}

QString withSuffix(const QString& answer, const QStringList& accepted, const QString& defaultSuffix,
                   Qt::CaseSensitivity cs)
{
    if (answer.isEmpty())
        return QString();
    const QString suffix = QFileInfo(answer).suffix();
    if (suffix.isEmpty())
        return answer + QLatin1Char('.') + defaultSuffix;
    return accepted.contains(suffix, cs) ? answer : QString();
}

} // namespace scopesavename
