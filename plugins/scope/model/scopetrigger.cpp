#include "scopetrigger.h"

#include "VX_Prod.h"

#include <cmath>

bool triggerFires(const ScopeTriggerSetting& setting, const std::vector<_ST_ReadScopeData>& rows)
{
    constexpr int kColumns = int(sizeof(_ST_ReadScopeData::values) / sizeof(double));
    if (rows.empty() || setting.channel < 0 || setting.channel >= kColumns)
        return false;

    auto valueOf = [&setting](const _ST_ReadScopeData& row) {
        const double v = row.values[setting.channel];
        return setting.absoluteValue ? std::fabs(v) : v;
    };
    // A value that is not a number compares false either way; it must not
    // become the batch's extreme and hide the rows after it.
    bool any = false;
    double maximum = 0.0;
    double minimum = 0.0;
    for (const _ST_ReadScopeData& row : rows) {
        const double v = valueOf(row);
        if (std::isnan(v))
            continue;
        if (!any) {
            maximum = minimum = v;
            any = true;
        }
        if (v > maximum)
            maximum = v;
        if (v < minimum)
            minimum = v;
    }
    if (!any)
        return false;
    switch (setting.condition) {
    case 0:
        return maximum > setting.threshold;
    case 1:
        return minimum < setting.threshold;
    default:
        return false;
    }
}
