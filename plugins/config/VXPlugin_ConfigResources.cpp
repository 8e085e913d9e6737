#include "VXPlugin_ConfigResources.h"

#include <QtGlobal>

static void initConfigResources()
{
    Q_INIT_RESOURCE(VXPlugin_Config);
}

void vxconfig::initResources()
{
    static const bool done = (initConfigResources(), true);
    Q_UNUSED(done);
}
