// The plug-in's images live in a static library; their registration must be
// pulled in explicitly, or the linker drops it.
#pragma once

namespace vxconfig {
void initResources();
}
