// The program's own file version ("5.1.82.22"), set by the build from the
// project version. Used in the crash-dump file name and the About dialog.
#pragma once

#include <QString>

namespace vx {
QString fileVersionText();
}
