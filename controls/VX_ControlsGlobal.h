// Export macro of the VX_Controls library. The library is built with hidden
// visibility, so only the classes marked here are visible to its users.
#pragma once

#include <QtCore/qglobal.h>

#if defined(VX_CONTROLS_LIBRARY)
#define VX_CONTROLS_EXPORT Q_DECL_EXPORT
#else
#define VX_CONTROLS_EXPORT Q_DECL_IMPORT
#endif
