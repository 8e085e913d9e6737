// The name a file is saved under, from what a save dialog answered. Whether
// the dialog adds the suffix of the chosen filter depends on the platform
// (Qt's own dialog and most Linux ones add none), so the scope's saves settle
// it here, the same way for every kind of file they write.
#pragma once

#include <QString>
#include <QStringList>

namespace scopesavename {

// The name the scope proposes for what it saves, and the recorder writes when
// given none: VX_Scope_yyyy_MM_dd_hh_mm_ss.<suffix>, local time.
QString proposedName(const QString& suffix);

// A name without a suffix gets "." + defaultSuffix; a name whose suffix is
// one of `accepted` (compared with `cs`) is kept as it is; a name with any
// other suffix gives an empty text, which the caller reports as a format it
// does not write. An empty answer (a cancelled dialog) stays empty.
QString withSuffix(const QString& answer, const QStringList& accepted, const QString& defaultSuffix,
                   Qt::CaseSensitivity cs);

} // namespace scopesavename
