#include "VX_Controls.h"

VX_Controls::VX_Controls() = default;
