// The library's namesake class. It carries no behaviour; it exists so that
// the library always exports a class of its own name.
#pragma once

#include "VX_ControlsGlobal.h"

class VX_CONTROLS_EXPORT VX_Controls
{
public:
    VX_Controls();
};
