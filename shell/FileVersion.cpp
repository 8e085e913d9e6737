#include "FileVersion.h"

#ifndef VX_FILE_VERSION
#define VX_FILE_VERSION ""
#endif

namespace vx {

QString fileVersionText()
{
    return QStringLiteral(VX_FILE_VERSION);
}

} // namespace vx
